// DICOUNT: the 32 counters across calls and reloads, the order of the record checks, and the
// text that the store writes.
#include "support.h"

#include <cstdio>
#include <iterator>
#include <string>

#include "units.h"

namespace opkit_test {
namespace {

// A DICOUNT record; the length digits default to the shortest that the operation accepts.
std::string dicount(std::string_view op, std::string_view counter, std::string_view variable = "",
                    int length = -1) {
    if (length < 0) {
        length = variable.empty() ? 21 : 32;
    }
    if (variable.empty()) {
        return make_record(length, "DICOUNT", {{10, op}, {20, counter}});
    }
    return make_record(length, "DICOUNT", {{10, op}, {20, counter}, {31, variable}});
}

class DicountTest : public PluginTest {
  protected:
    void TearDown() override { EXPECT_EQ(host.stall_count(), 0) << "a notice waited unasked"; }

    // Runs a record that must raise a notice; answers its code.
    std::string notice_of(const std::string& record) {
        host.press_key('k');
        EXPECT_EQ(call(record), 0);
        EXPECT_EQ(host.keys_waiting(), 0U) << record << ": no notice took the key";
        return notice_code();
    }

    // Stores counter `counter` into variable 5 and answers the text written.
    std::string stored(std::string_view counter) {
        host.set_variable(5, "<unwritten>");
        EXPECT_EQ(call(dicount("S", counter, "05")), 0);
        return host.variable(5).value_or("<no variable>");
    }
};

TEST_F(DicountTest, OperationsActOnOneCounterAcrossCalls) {
    EXPECT_EQ(call(dicount("S", "05", "03")), 0);
    EXPECT_EQ(trace_text(), std::vector<std::string>{"_WriteUserVariable(\"0\", 3) = 0"})
        << "a store asks the host for one write and nothing else";

    // Each operation, then the value that a store writes after it (a store changes nothing).
    const std::pair<const char*, const char*> steps[] = {
        {"D", "0"}, {"d", "0"}, {"I", "1"}, {"i", "2"}, {"I", "3"},
        {"D", "2"}, {"r", "0"}, {"i", "1"}, {"R", "0"}, {"I", "1"},
    };
    for (const auto& [op, value] : steps) {
        EXPECT_EQ(call(dicount(op, "05")), 0);
        EXPECT_EQ(stored("05"), value) << "after " << op;
    }
    EXPECT_EQ(call(dicount("s", "05", "04")), 0);
    EXPECT_EQ(host.variable(4), "1");
}

TEST_F(DicountTest, ResetTouchesOnlyItsOwnCounter) {
    for (int n = 1; n <= 32; ++n) {
        char field[3];
        std::snprintf(field, sizeof field, "%02d", n);
        call(dicount("I", field));
    }
    call(dicount("R", "17"));
    for (int n = 1; n <= 32; ++n) {
        char field[3];
        std::snprintf(field, sizeof field, "%02d", n);
        EXPECT_EQ(stored(field), n == 17 ? "0" : "1") << "counter " << n;
    }
}

TEST_F(DicountTest, CounterNumberIsReadLikeAtoi) {
    // Each spelling of counter 7 increments the same counter.
    for (const char* seven : {"07", " 7", "+7", "7x"}) {
        EXPECT_EQ(call(dicount("I", seven)), 0) << seven;
        EXPECT_EQ(notice_code(), "") << seven;
    }
    EXPECT_EQ(stored("07"), "4");
    for (const char* bad : {"00", "33", "-1", "  ", "ab", "99"}) {
        EXPECT_EQ(notice_of(dicount("I", bad)), "D2") << '"' << bad << '"';
    }
    EXPECT_EQ(stored("07"), "4");
}

TEST_F(DicountTest, ChecksRunInOrder) {
    struct Case {
        std::string record;
        const char* code;
    };
    const Case cases[] = {
        {dicount("I", "05", "", 20), "D1"},   {dicount("S", "05", "03", 20), "D1"},
        {dicount("X", "40"), "D2"},           // the counter is checked before the letter
        {dicount("S", "05", "03", 31), "D3"}, // a store needs the variable columns
        {dicount("S", "05", "00"), "D4"},     {dicount("S", "05", "20"), "D4"},
        {dicount("s", "05", "-1"), "D4"},     {dicount("X", "05"), "D5"},
        {dicount(" ", "05"), "D5"},           {dicount("x", "05", "03"), "D5"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(notice_of(c.record), c.code) << c.record;
    }
    EXPECT_EQ(host.count_of(Service::WriteUserVariable), 0U);
    EXPECT_EQ(stored("05"), "0") << "no failed call changes a counter";
}

TEST_F(DicountTest, ShortestRecordsAreAcceptedPerOperation) {
    // Length 21 is enough for everything but a store; columns 31-32 are not read then.
    EXPECT_EQ(call(make_record(21, "DICOUNT", {{10, "I"}, {20, "05"}, {31, "zz"}})), 0);
    EXPECT_EQ(notice_code(), "");
    EXPECT_EQ(call(dicount("S", "05", "19")), 0);
    EXPECT_EQ(host.variable(19), "1");
    EXPECT_EQ(call(dicount("S", "05", " 1")), 0);
    EXPECT_EQ(host.variable(1), "1");
}

TEST_F(DicountTest, RecordShorterThanItsLengthDigitsReadsMissingColumnsAsEmpty) {
    // The length digits claim 40 characters, but the record ends after the letter: the counter
    // number reads as no digits, 0.
    EXPECT_EQ(notice_of("40DICOUNT I"), "D2");
    // A store whose record ends right after the counter number has no variable number.
    EXPECT_EQ(notice_of(make_record(40, "DICOUNT", {{10, "S"}, {20, "05"}}, 22)), "D4");
    EXPECT_EQ(host.count_of(Service::WriteUserVariable), 0U);
}

TEST_F(DicountTest, RefusedWriteShowsAppendNoticeAndTheCounterStays) {
    call(dicount("I", "09"));
    host.set_variable(4, "before");
    host.force_result(Service::WriteUserVariable, 5);
    host.press_key('k');
    EXPECT_EQ(call(dicount("S", "09", "04")), 0);
    EXPECT_EQ(row(0).substr(0, 32), "CFR append too long: 32DICOUNT S");
    EXPECT_EQ(host.keys_waiting(), 0U);
    EXPECT_EQ(host.variable(4), "before");

    EXPECT_EQ(call(dicount("S", "09", "04")), 0);
    EXPECT_EQ(host.variable(4), "1");

    // Any other answer of the host is not reported.
    host.force_result(Service::WriteUserVariable, 1);
    host.clear_trace();
    EXPECT_EQ(call(dicount("S", "09", "04")), 0);
    EXPECT_EQ(host.count_of(Service::VioWrtCharStr), 0U);
}

TEST_F(DicountTest, CountersStartFromZeroAfterAReload) {
    call(dicount("I", "03"));
    call(dicount("I", "32"));
    EXPECT_EQ(stored("03"), "1");
    plugin.unload();
    ASSERT_TRUE(plugin.load()) << plugin.error();
    EXPECT_EQ(stored("03"), "0");
    EXPECT_EQ(stored("32"), "0");
}

// The counters' far ends cannot be reached through 2^31 calls; these run the handler of the
// library under test (tests/units.h) against a counter set directly.
class DicountLimits : public DicountTest {
  protected:
    void TearDown() override {
        for (uint32_t& counter : counter_table) {
            counter = 0;
        }
        DicountTest::TearDown();
    }
    void run(const std::string& record) {
        *units().record_length = std::stoi(record.substr(0, 2));
        EXPECT_EQ(units().cfr_dicount(record.c_str()), 0);
    }

    decltype(opkit::counter_table)& counter_table = *units().counter_table;
};

TEST_F(DicountLimits, StoreWritesTheBitsAsASignedNumberAndIncrementWraps) {
    struct Case {
        uint32_t value;
        const char* text;
    };
    const Case cases[] = {{2147483647U, "2147483647"},
                          {2147483648U, "-2147483648"},
                          {4294967295U, "-1"},
                          {4294967294U, "-2"}};
    for (const Case& c : cases) {
        counter_table[11] = c.value;
        run(dicount("S", "12", "06"));
        EXPECT_EQ(host.variable(6), c.text) << c.value;
    }
    counter_table[11] = 4294967295U;
    run(dicount("I", "12"));
    EXPECT_EQ(counter_table[11], 0U);
    counter_table[11] = 4294967295U;
    run(dicount("D", "12"));
    EXPECT_EQ(counter_table[11], 4294967294U);
}

TEST_F(DicountLimits, EachOfTheThirtyTwoCountersHasACellOfItsOwn) {
    ASSERT_EQ(std::size(counter_table), 32U);
    for (int n = 1; n <= 32; ++n) {
        char number[3];
        std::snprintf(number, sizeof number, "%02d", n);
        run(dicount("I", number));
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(counter_table[i], i < n ? 1U : 0U) << "after counter " << n;
        }
    }
}

} // namespace
} // namespace opkit_test
