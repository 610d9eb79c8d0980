// INTMATH: the four operators with wrapping and truncation, the result in user variable 1,
// the order of the checks, failed reads and the numbers that reach the host.
#include "support.h"

#include <string>

namespace opkit_test {
namespace {

std::string intmath_record(std::string_view left, std::string_view op, std::string_view right,
                           int length = 21) {
    return make_record(length, "INTMATH", {{12, left}, {16, op}, {20, right}});
}

class IntmathTest : public PluginTest {
  protected:
    explicit IntmathTest(hostsim::HostOptions options = {}) : PluginTest(options) {}
    void TearDown() override { EXPECT_EQ(host.stall_count(), 0) << "a notice waited unasked"; }

    // Computes variable 2 `op` variable 3 and answers what variable 1 holds afterwards.
    std::string compute(std::string_view a, std::string_view op, std::string_view b) {
        host.set_variable(2, a);
        host.set_variable(3, b);
        host.set_variable(1, "<unwritten>");
        EXPECT_EQ(call(intmath_record("02", op, "03")), 0);
        return host.variable(1).value_or("<no variable>");
    }

    std::string notice_of(const std::string& record) {
        host.press_key('k');
        EXPECT_EQ(call(record), 0) << record;
        EXPECT_EQ(host.keys_waiting(), 0U) << record << ": no notice took the key";
        return notice_code();
    }
};

TEST_F(IntmathTest, OperatorsComputeAndWriteVariableOne) {
    struct Case {
        const char* a;
        const char* op;
        const char* b;
        const char* result;
    };
    const Case cases[] = {
        {"7", "*", "2", "14"},  {"7", "+", "2", "9"},   {"7", "-", "2", "5"},
        {"7", "/", "2", "3"},   {"-7", "/", "2", "-3"}, {"7", "/", "-2", "-3"},
        {"-7", "/", "-2", "3"}, {"5", "-", "8", "-3"},  {"12abc", "+", " 3", "15"},
        {"abc", "*", "5", "0"}, {"", "*", "0", "0"},    {"-6", "*", "-7", "42"},
        {"0", "-", "0", "0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compute(c.a, c.op, c.b), c.result) << c.a << ' ' << c.op << ' ' << c.b;
    }
    EXPECT_EQ(host.count_of(Service::VioWrtCharStr), 0U);
}

TEST_F(IntmathTest, ResultsWrapModuloTwoToThe32) {
    struct Case {
        const char* a;
        const char* op;
        const char* b;
        const char* result;
    };
    const Case cases[] = {
        {"2147483647", "+", "1", "-2147483648"},
        {"-2147483648", "-", "1", "2147483647"},
        {"-2147483648", "+", "-2147483648", "0"},
        {"65536", "*", "65536", "0"},
        {"2147483647", "*", "2", "-2"},
        {"-2147483648", "*", "-1", "-2147483648"},
        {"0", "-", "-2147483648", "-2147483648"},
        // The one quotient beyond the 32-bit range wraps as well instead of trapping.
        {"-2147483648", "/", "-1", "-2147483648"},
        {"-2147483647", "/", "-1", "2147483647"},
        {"-2147483648", "/", "1", "-2147483648"},
        // Texts beyond the 32-bit range count as the nearest end of it.
        {"99999999999", "+", "0", "2147483647"},
        {"-99999999999", "+", "0", "-2147483648"},
        {"4294967296", "-", "1", "2147483646"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compute(c.a, c.op, c.b), c.result) << c.a << ' ' << c.op << ' ' << c.b;
    }
}

TEST_F(IntmathTest, OperandsAreReadBeforeTheResultIsWritten) {
    host.set_variable(1, "10");
    host.set_variable(2, "5");
    EXPECT_EQ(call(intmath_record("01", "+", "02")), 0);
    EXPECT_EQ(host.variable(1), "15");
    EXPECT_EQ(call(intmath_record("01", "*", "01")), 0);
    EXPECT_EQ(host.variable(1), "225");
    EXPECT_EQ(calls_of(Service::WriteUserVariable).back(), "_WriteUserVariable(\"225\", 1) = 0");

    // The exact conversation of one call: two reads, left first, then the one write.
    host.clear_trace();
    call(intmath_record("02", "-", "01"));
    EXPECT_EQ(trace_text(), (std::vector<std::string>{"_ReadUserVariable(\"5\", 2) = 0",
                                                      "_ReadUserVariable(\"225\", 1) = 0",
                                                      "_WriteUserVariable(\"-220\", 1) = 0"}));
}

TEST_F(IntmathTest, ChecksRunInOrderAndLeaveVariableOneAlone) {
    host.set_variable(1, "untouched");
    host.set_variable(2, "8");
    struct Case {
        std::string record;
        const char* right;
        const char* code;
        size_t reads;
    };
    const Case cases[] = {
        {intmath_record("02", "+", "03", 20), "1", "C1", 0},
        {intmath_record("02", "x", "03"), "1", "C5", 2},
        {intmath_record("02", " ", "03"), "1", "C5", 2},
        {intmath_record("02", ",", "03"), "1", "C5", 2},
        {intmath_record("02", ".", "03"), "1", "C5", 2},
        {intmath_record("02", "x", "03"), "0", "C5", 2}, // the operator before the divisor
        {intmath_record("02", "/", "03"), "0", "C6", 2},
        {intmath_record("02", "/", "03"), "abc", "C6", 2},
        {intmath_record("02", "/", "03"), "", "C6", 2},
        {intmath_record("02", "/", "03"), "-0", "C6", 2},
    };
    for (const Case& c : cases) {
        host.set_variable(3, c.right);
        host.clear_trace();
        EXPECT_EQ(notice_of(c.record), c.code) << c.record << " right '" << c.right << "'";
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), c.reads) << c.record;
        EXPECT_EQ(host.count_of(Service::WriteUserVariable), 0U) << c.record;
    }
    EXPECT_EQ(host.variable(1), "untouched");
    // A zero right operand is fine for any other operator.
    host.set_variable(3, "abc");
    EXPECT_EQ(call(intmath_record("02", "*", "03")), 0);
    EXPECT_EQ(host.variable(1), "0");
}

TEST_F(IntmathTest, EitherFailedReadStopsTheCall) {
    host.set_variable(1, "untouched");
    host.set_variable(2, "4");
    for (const int failure : {1, 3}) {
        host.clear_trace();
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(intmath_record("02", "+", "02")), "C2") << failure;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), 1U) << "the right one is not read";

        host.force_result(Service::ReadUserVariable, 0, true);
        host.force_result(Service::ReadUserVariable, failure);
        EXPECT_EQ(notice_of(intmath_record("02", "+", "02")), "C3") << failure;
    }
    host.set_unreadable(2, true);
    EXPECT_EQ(notice_of(intmath_record("02", "+", "01")), "C2");
    EXPECT_EQ(notice_of(intmath_record("01", "+", "02")), "C3");
    EXPECT_EQ(host.variable(1), "untouched");
    EXPECT_EQ(host.count_of(Service::WriteUserVariable), 0U);
}

TEST_F(IntmathTest, ReadThatWritesNothingCountsAsZero) {
    // The first call leaves its operands where the second one's buffers lie; the second
    // call's left read answers success without writing anything.
    host.set_variable(2, "777");
    host.set_variable(3, "5");
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0, true);
    host.force_result(Service::ReadUserVariable, 0);
    const std::string record = intmath_record("02", "+", "03");
    EXPECT_EQ(call(record), 0);
    EXPECT_EQ(host.variable(1), "782");
    EXPECT_EQ(call(record), 0);
    EXPECT_EQ(host.variable(1), "5");
}

TEST_F(IntmathTest, RefusedWriteIsNotReported) {
    host.set_variable(1, "before");
    host.force_result(Service::WriteUserVariable, 5);
    host.set_variable(2, "1");
    host.set_variable(3, "1");
    EXPECT_EQ(call(intmath_record("02", "+", "03")), 0);
    EXPECT_EQ(host.count_of(Service::VioWrtCharStr), 0U);
    EXPECT_EQ(host.count_of(Service::KbdReadAscii), 0U);
    EXPECT_EQ(host.variable(1), "before");
}

TEST_F(IntmathTest, RecordShorterThanItsLengthDigits) {
    host.set_variable(1, "before");
    host.set_variable(2, "3");
    // The record ends before the right number: no digits, variable 0, which the host cannot
    // read.
    host.clear_trace();
    EXPECT_EQ(notice_of(make_record(30, "INTMATH", {{12, "02"}, {16, "+"}}, 17)), "C3");
    EXPECT_EQ(calls_of(Service::ReadUserVariable).back(), "_ReadUserVariable(0) = 1");
    // Ending right after the left number: the right one is still read before the operator
    // is looked at.
    EXPECT_EQ(notice_of(make_record(30, "INTMATH", {{12, "02"}}, 14)), "C3");
    EXPECT_EQ(host.variable(1), "before");
}

class IntmathWideHostTest : public IntmathTest {
  protected:
    static hostsim::HostOptions wide() {
        hostsim::HostOptions options;
        options.last_variable = 255;
        return options;
    }
    IntmathWideHostTest() : IntmathTest(wide()) {}
};

TEST_F(IntmathWideHostTest, HostReceivesTheLowEightBitsOfEachNumber) {
    host.set_variable(255, "20");
    host.set_variable(248, "6");
    EXPECT_EQ(call(intmath_record("-1", "/", "-8")), 0);
    EXPECT_EQ(host.variable(1), "3");
    EXPECT_EQ(calls_of(Service::ReadUserVariable),
              (std::vector<std::string>{"_ReadUserVariable(\"20\", 255) = 0",
                                        "_ReadUserVariable(\"6\", 248) = 0"}));
}

} // namespace
} // namespace opkit_test
