// COMPARE and CMP_INT: relations and result modes over text and integer values, the order of
// the checks, the variable numbers that reach the host, and failed reads.
#include "support.h"

#include <string>

namespace opkit_test {
namespace {

std::string compare_record(std::string_view left, std::string_view relation, std::string_view right,
                           std::string_view mode, int length = 36) {
    return make_record(length, "COMPARE", {{14, left}, {18, relation}, {25, right}, {37, mode}});
}

std::string cmp_int_record(std::string_view left, std::string_view relation, std::string_view right,
                           std::string_view mode, int length = 29) {
    return make_record(length, "CMP_INT", {{12, left}, {16, relation}, {21, right}, {30, mode}});
}

class ComparisonTest : public PluginTest {
  protected:
    explicit ComparisonTest(hostsim::HostOptions options = {}) : PluginTest(options) {}
    void TearDown() override { EXPECT_EQ(host.stall_count(), 0) << "a notice waited unasked"; }

    // Compares two texts held in variables 1 and 2.
    int compare(std::string_view a, std::string_view b, std::string_view relation,
                std::string_view mode) {
        host.set_variable(1, a);
        host.set_variable(2, b);
        return call(compare_record("01", relation, "02", mode));
    }
    int cmp_int(std::string_view a, std::string_view b, std::string_view relation,
                std::string_view mode) {
        host.set_variable(1, a);
        host.set_variable(2, b);
        return call(cmp_int_record("01", relation, "02", mode));
    }

    // Runs a record that must raise a notice and return 0; answers its code.
    std::string notice_of(const std::string& record) {
        host.press_key('k');
        EXPECT_EQ(call(record), 0) << record;
        EXPECT_EQ(host.keys_waiting(), 0U) << record << ": no notice took the key";
        return notice_code();
    }
};

using CompareTest = ComparisonTest;
using CmpIntTest = ComparisonTest;

struct Comparison {
    const char* left;
    const char* right;
    const char* relation;
    bool holds;
};

TEST_F(CompareTest, TextsCompareByteByByteAsUnsigned) {
    const Comparison cases[] = {
        {"abc", "abd", "LT", true},    {"abc", "abd", "GE", false},   {"abc", "ABC", "EQ", false},
        {"abc", "ABC", "GT", true},    {"10", "9", "GT", false},      {"10", "9", "LT", true},
        {"", "a", "LT", true},         {"", "", "EQ", true},          {"ab", "abc", "LT", true},
        {"abc", "ab", "GT", true},     {"\xE9", "z", "GT", true},     {"\x80", "\x7F", "GE", true},
        {"5", "05", "NE", true},       {" a", "a", "EQ", false},      {"same", "same", "GE", true},
        {"same", "same", "LE", true},  {"same", "same", "GT", false}, {"same", "same", "LT", false},
        {"same", "same", "NE", false},
    };
    for (const Comparison& c : cases) {
        const std::string what =
            std::string("'") + c.left + "' " + c.relation + " '" + c.right + "'";
        EXPECT_EQ(compare(c.left, c.right, c.relation, "S"), c.holds ? 1 : 0) << what;
        EXPECT_EQ(compare(c.left, c.right, c.relation, "N"), c.holds ? 0 : 1) << what;
    }
    EXPECT_EQ(host.count_of(Service::VioWrtCharStr), 0U);
}

TEST_F(CompareTest, LettersAreReadInEitherCaseAndSecondLetterOnlyAfterGOrL) {
    for (const char* ge : {"GE", "ge", "Ge", "gE"}) {
        EXPECT_EQ(compare("b", "a", ge, "s"), 1) << ge;
        EXPECT_EQ(compare("a", "b", ge, "n"), 1) << ge;
    }
    for (const char* lt : {"LT", "lt", "lT", "Lt"}) {
        EXPECT_EQ(compare("a", "b", lt, "S"), 1) << lt;
    }
    // For E and N the second column may hold anything.
    for (const char* eq : {"EX", "E ", "e?", "EQ"}) {
        EXPECT_EQ(compare("x", "x", eq, "S"), 1) << eq;
    }
    EXPECT_EQ(compare("x", "y", "NX", "S"), 1);
    EXPECT_EQ(compare("x", "x", "n ", "S"), 0);
}

TEST_F(CompareTest, ChecksRunInOrderAndReturnZero) {
    host.set_variable(1, "a");
    host.set_variable(2, "b");
    struct Case {
        std::string record;
        const char* code;
        size_t reads;
    };
    const Case cases[] = {
        {compare_record("01", "EQ", "02", "S", 35), "C1", 0},
        {compare_record("01", "EQ", "02", "A"), "C4", 2}, // mode A is CMP_INT's only
        {compare_record("01", "EQ", "02", " "), "C4", 2},
        {compare_record("01", "XX", "02", "X"), "C4", 2}, // the mode is checked first
        {compare_record("01", "GX", "02", "S"), "C5", 2},
        {compare_record("01", "LQ", "02", "N"), "C5", 2},
        {compare_record("01", "XX", "02", "S"), "C5", 2},
        {compare_record("01", "G ", "02", "S"), "C5", 2},
    };
    for (const Case& c : cases) {
        host.clear_trace();
        EXPECT_EQ(notice_of(c.record), c.code) << c.record;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), c.reads) << c.record;
    }
}

TEST_F(CompareTest, EitherFailedReadStopsTheCall) {
    host.set_variable(1, "a");
    host.set_variable(2, "a");
    // 3: the variable cannot be read; 1: the host has no such variable. Both are failures.
    for (const int failure : {3, 1}) {
        host.clear_trace();
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(compare_record("01", "EQ", "02", "N")), "C2") << failure;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), 1U) << "the right one is not read";

        host.clear_trace();
        host.force_result(Service::ReadUserVariable, 0, true);
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(compare_record("01", "EQ", "02", "N")), "C3") << failure;
    }
    host.set_unreadable(2, true);
    EXPECT_EQ(notice_of(compare_record("01", "EQ", "02", "S")), "C3");
    EXPECT_EQ(notice_of(compare_record("00", "EQ", "01", "S")), "C2") << "no variable 0";
}

TEST_F(CompareTest, VariableNumbersReachTheHostAsConverted) {
    host.set_variable(7, "x");
    host.set_variable(42, "x");
    EXPECT_EQ(call(compare_record(" 7", "EQ", "42", "S")), 1);
    EXPECT_EQ(calls_of(Service::ReadUserVariable),
              (std::vector<std::string>{"_ReadUserVariable(\"x\", 7) = 0",
                                        "_ReadUserVariable(\"x\", 42) = 0"}));
    host.clear_trace();
    EXPECT_EQ(notice_of(compare_record("-1", "EQ", "42", "S")), "C2");
    EXPECT_EQ(calls_of(Service::ReadUserVariable),
              std::vector<std::string>{"_ReadUserVariable(-1) = 1"});
}

TEST_F(CompareTest, ReadThatWritesNothingComparesAnEmptyText) {
    // The first call leaves its texts where the second one's buffers lie; the second call's
    // left read answers success without writing anything.
    host.set_variable(1, "leftover text");
    host.set_variable(2, "");
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0);
    const std::string record = compare_record("01", "NE", "02", "S");
    EXPECT_EQ(call(record), 1);
    EXPECT_EQ(call(record), 0) << "two empty texts are equal";
}

TEST_F(CompareTest, RecordShorterThanItsLengthDigits) {
    host.set_variable(1, "a");
    host.set_variable(2, "a");
    // The length digits claim 40, but the record ends at column 27, before the mode letter.
    EXPECT_EQ(notice_of(make_record(40, "COMPARE", {{14, "01"}, {18, "EQ"}, {25, "02"}}, 28)),
              "C4");
    EXPECT_EQ(host.count_of(Service::ReadUserVariable), 2U);
    // Ending before the right number: no digits, variable 0, which the host cannot read.
    EXPECT_EQ(notice_of(make_record(40, "COMPARE", {{14, "01"}, {18, "EQ"}}, 20)), "C3");
}

TEST_F(CmpIntTest, TextsCompareAsSignedIntegers) {
    const Comparison cases[] = {
        {"10", "9", "GT", true},
        {" 12", "12abc", "EQ", true},
        {"abc", "0", "EQ", true},
        {"", "0", "EQ", true},
        {"-5", "3", "LT", true},
        {"-5", "-6", "GE", true},
        {"+7", "7", "LE", true},
        {"007", "7", "NE", false},
        {"2147483647", "-2147483648", "GT", true},
        // Beyond the 32-bit range a text counts as the nearest end of it.
        {"99999999999", "2147483647", "EQ", true},
        {"2147483648", "2147483647", "GT", false},
        {"-99999999999", "-2147483648", "EQ", true},
        {"-2147483649", "-2147483647", "LT", true},
    };
    for (const Comparison& c : cases) {
        const std::string what =
            std::string("'") + c.left + "' " + c.relation + " '" + c.right + "'";
        EXPECT_EQ(cmp_int(c.left, c.right, c.relation, "S"), c.holds ? 1 : 0) << what;
        EXPECT_EQ(cmp_int(c.left, c.right, c.relation, "n"), c.holds ? 0 : 1) << what;
        EXPECT_EQ(cmp_int(c.left, c.right, c.relation, "A"), c.holds ? 2 : 0) << what;
    }
    EXPECT_EQ(cmp_int("1", "1", "ex", "a"), 2);
    EXPECT_EQ(host.count_of(Service::VioWrtCharStr), 0U);
}

TEST_F(CmpIntTest, ChecksRunInOrderAndReturnZero) {
    host.set_variable(1, "1");
    host.set_variable(2, "2");
    struct Case {
        std::string record;
        const char* code;
        size_t reads;
    };
    const Case cases[] = {
        {cmp_int_record("01", "EQ", "02", "S", 27), "C1", 0},
        {cmp_int_record("01", "EQ", "02", "X"), "C4", 2},
        {cmp_int_record("01", "XX", "02", "?"), "C4", 2},
        {cmp_int_record("01", "GX", "02", "A"), "C5", 2},
        {cmp_int_record("01", "lq", "02", "a"), "C5", 2},
        {cmp_int_record("01", "  ", "02", "S"), "C5", 2},
    };
    for (const Case& c : cases) {
        host.clear_trace();
        EXPECT_EQ(notice_of(c.record), c.code) << c.record;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), c.reads) << c.record;
    }
}

TEST_F(CmpIntTest, ShortestAcceptedLengthEndsBeforeTheModeLetter) {
    host.set_variable(1, "4");
    host.set_variable(2, "4");
    // Length 28 passes the length check, but the record ends at column 29: the mode letter in
    // column 30 is not there.
    const std::string record = cmp_int_record("01", "EQ", "02", "", 28);
    ASSERT_EQ(record.size(), 30U);
    host.clear_trace();
    EXPECT_EQ(notice_of(record), "C4");
    EXPECT_EQ(host.count_of(Service::ReadUserVariable), 2U);
    // Length digits that do not cover the mode letter, on a record that holds it, still work.
    EXPECT_EQ(call(cmp_int_record("01", "EQ", "02", "S", 28)), 1);
    EXPECT_EQ(call(cmp_int_record("01", "EQ", "02", "A", 29)), 2);
}

TEST_F(CmpIntTest, EitherFailedReadStopsTheCall) {
    host.set_variable(1, "1");
    host.set_variable(2, "1");
    for (const int failure : {1, 3}) {
        host.clear_trace();
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(cmp_int_record("01", "EQ", "02", "S")), "C2") << failure;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), 1U);

        host.force_result(Service::ReadUserVariable, 0, true);
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(cmp_int_record("01", "EQ", "02", "S")), "C3") << failure;
    }
    host.set_unreadable(1, true);
    EXPECT_EQ(notice_of(cmp_int_record("01", "EQ", "02", "S")), "C2");
}

TEST_F(CmpIntTest, ReadThatWritesNothingCountsAsZero) {
    host.set_variable(1, "12345");
    host.set_variable(2, "0");
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0); // success, but nothing written
    const std::string record = cmp_int_record("01", "EQ", "02", "S");
    EXPECT_EQ(call(record), 0);
    EXPECT_EQ(call(record), 1);
}

TEST_F(CmpIntTest, RecordShorterThanItsLengthDigits) {
    host.set_variable(1, "5");
    // The record ends after the left number: the right number has no digits and names
    // variable 0, which the host cannot read.
    host.clear_trace();
    EXPECT_EQ(notice_of(make_record(40, "CMP_INT", {{12, "01"}, {16, "EQ"}}, 18)), "C3");
    EXPECT_EQ(calls_of(Service::ReadUserVariable).back(), "_ReadUserVariable(0) = 1");
}

// A host whose variables run up to 255, to see the number that CMP_INT passes.
class CmpIntWideHostTest : public ComparisonTest {
  protected:
    static hostsim::HostOptions wide() {
        hostsim::HostOptions options;
        options.first_variable = 0;
        options.last_variable = 255;
        return options;
    }
    CmpIntWideHostTest() : ComparisonTest(wide()) {}
};

TEST_F(CmpIntWideHostTest, HostReceivesTheLowEightBitsOfEachNumber) {
    host.set_variable(255, "9");
    host.set_variable(247, "9");
    EXPECT_EQ(call(cmp_int_record("-1", "EQ", "-9", "S")), 1);
    EXPECT_EQ(calls_of(Service::ReadUserVariable),
              (std::vector<std::string>{"_ReadUserVariable(\"9\", 255) = 0",
                                        "_ReadUserVariable(\"9\", 247) = 0"}));
    // COMPARE hands over the number as it stands.
    host.clear_trace();
    host.press_key('k');
    EXPECT_EQ(call(compare_record("-1", "EQ", "-9", "S")), 0);
    EXPECT_EQ(calls_of(Service::ReadUserVariable),
              std::vector<std::string>{"_ReadUserVariable(-1) = 1"});
}

} // namespace
} // namespace opkit_test
