// CHKUNIQ: the two rings of recent values across calls, whole-text comparison of long values,
// reset and its ring position, and the parameter faults.
#include "support.h"

#include <cstring>

#include "units.h"

namespace opkit_test {
namespace {

std::string verify_record(std::string_view variable, std::string_view list, int length = 24) {
    return make_record(length, "CHKUNIQ", {{10, "V"}, {14, variable}, {25, list}});
}
std::string reset_record(std::string_view list, int length = 22) {
    return make_record(length, "CHKUNIQ", {{10, "R"}, {23, list}});
}

struct ChkuniqTest : PluginTest {
    // Verifies `value` through user variable 5.
    int check(const std::string& value, std::string_view list = "1") {
        host.set_variable(5, value);
        return call(verify_record("05", list));
    }
};

TEST_F(ChkuniqTest, NewValuesAreAddedAndFoundWholeAndCaseSensitive) {
    EXPECT_EQ(check("abc"), 1);
    EXPECT_EQ(check("abc"), 0);
    for (const char* other : {"ABC", "abc ", " abc", "ab"}) {
        EXPECT_EQ(check(other), 1) << other;
        EXPECT_EQ(check(other), 0) << other;
    }
    EXPECT_EQ(check("abc", "2"), 1) << "the lists are independent";
    call(reset_record("2"));
    EXPECT_EQ(check("abc", "1"), 0) << "resetting list 2 keeps list 1";
    EXPECT_EQ(row(0), std::string(40, ' ')) << "no notice";
}

TEST_F(ChkuniqTest, RingKeepsTheTenMostRecentValues) {
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(check("v" + std::to_string(i)), 1);
    }
    EXPECT_EQ(check("v0"), 0);
    EXPECT_EQ(check("v10"), 1); // takes entry 0
    EXPECT_EQ(check("v0"), 1);  // new again, takes entry 1 from v1
    EXPECT_EQ(check("v2"), 0);
    EXPECT_EQ(check("v1"), 1);
    EXPECT_EQ(check("v2"), 1);
}

TEST_F(ChkuniqTest, EmptyValueMatchesEmptyEntriesUntilTheRingIsFull) {
    EXPECT_EQ(check(""), 0);
    for (int i = 0; i < 10; ++i) {
        check("x" + std::to_string(i));
    }
    EXPECT_EQ(check(""), 1);
    EXPECT_EQ(check(""), 0);
    for (int i = 0; i < 10; ++i) {
        check("y" + std::to_string(i)); // no empty entry left
    }
    call(reset_record("1"));
    EXPECT_EQ(check(""), 0) << "an emptied entry holds the empty text";
    EXPECT_EQ(check("y5"), 1) << "reset empties the list";
    EXPECT_EQ(check("y"), 1) << "a stale character behind an emptied entry counts for nothing";
}

TEST_F(ChkuniqTest, LongValuesAreStoredWholeAndFoundAgain) {
    const std::string longest(HOSTLIB_VARIABLE_MAX, 'q');
    for (const size_t length : {25U, 26U, 60U, 130U, 131U}) {
        const std::string value(length, 'L');
        EXPECT_EQ(check(value), 1) << length;
        EXPECT_EQ(check(value), 0) << length << ": a long value must not be new every time";
    }
    EXPECT_EQ(check(longest), 1);
    EXPECT_EQ(check(longest.substr(0, 130) + "r"), 1) << "differs only in the last character";
    EXPECT_EQ(check(longest), 0);
    EXPECT_EQ(check(std::string(26, 'L')), 0) << "still in the ring, not flooded out";
}

TEST_F(ChkuniqTest, ParameterFaultsShowTheirCodeAndLeaveTheListsAlone) {
    check("keep");
    host.set_unreadable(7, true);
    const struct {
        std::string record;
        const char* code;
    } cases[] = {
        {verify_record("05", "1", 23), "U2"},
        {reset_record("1", 21), "U5"},
        {verify_record("05", "0"), "U4"},
        {verify_record("05", "3"), "U4"},
        {verify_record("05", " "), "U4"},
        {verify_record("05", "a"), "U4"},
        {reset_record("3"), "U4"},
        {verify_record("07", "9"), "U3"}, // an unreadable variable comes before the list
        {verify_record("00", "1"), "U3"}, // the host's other failure result (no such number)
    };
    for (const auto& c : cases) {
        host.press_key('k');
        host.write_screen(0, 0, std::string(40, ' '));
        EXPECT_EQ(call(c.record), 0) << c.record;
        EXPECT_EQ(notice_code(), c.code) << c.record;
    }
    EXPECT_EQ(check("keep"), 0) << "no fault touched list 1";
    host.write_screen(0, 0, std::string(40, ' '));
    EXPECT_EQ(call(reset_record("1", 22)), 0);
    EXPECT_EQ(notice_code(), "") << "22 is long enough for a reset";
}

TEST_F(ChkuniqTest, OtherActionsDoNothing) {
    host.set_variable(5, "val");
    host.clear_trace();
    for (const char* action : {"X", " "}) {
        EXPECT_EQ(call(make_record(24, "CHKUNIQ", {{10, action}, {14, "05"}, {25, "1"}})), 0);
    }
    EXPECT_EQ(call("05CHKUNIQ"), 0) << "a record that ends before the action";
    EXPECT_TRUE(host.trace().empty());
    EXPECT_EQ(call(make_record(24, "CHKUNIQ", {{10, "v"}, {14, "05"}, {25, "1"}})), 1);
}

// The two rings of the library under test, set and read directly.
struct ChkuniqState : ::testing::Test {
    ChkuniqState() { host.make_current(); }
    void clear() {
        std::memset(lists, 0, sizeof lists);
        std::memset(lengths, 0, sizeof lengths);
        next[0] = next[1] = 0;
    }
    hostsim::Host host;
    decltype(opkit::uniq_lists)& lists = *units().uniq_lists;
    decltype(opkit::uniq_lengths)& lengths = *units().uniq_lengths;
    decltype(opkit::uniq_next)& next = *units().uniq_next;
    decltype(&opkit::uniq_check_and_add) check_and_add = units().uniq_check_and_add;
};

TEST_F(ChkuniqState, ResetEmptiesTheEntriesButKeepsTheRingPosition) {
    clear();
    for (const char* value : {"a", "b", "c"}) {
        EXPECT_EQ(check_and_add(value, 0), 1);
    }
    check_and_add("z", 1);
    std::string record = reset_record("1");
    EXPECT_EQ(units().opkit_main(3, record.data()), 0);
    for (const auto& entry : lists[0]) {
        EXPECT_STREQ(entry, "");
    }
    EXPECT_EQ(next[0], 3);
    EXPECT_EQ(check_and_add("d", 0), 1);
    EXPECT_STREQ(lists[0][3], "d");
    EXPECT_STREQ(lists[1][0], "z");
}

// A ring position that is out of range (the kept state damaged) starts the ring again at the
// list's first entry; nothing is written outside the list.
TEST_F(ChkuniqState, RingPositionOutOfRangeStartsAtTheFirstEntry) {
    for (const int position : {10, -1, 1000}) {
        clear();
        next[1] = position;
        EXPECT_EQ(check_and_add("q", 1), 1) << position;
        EXPECT_STREQ(lists[1][0], "q") << position;
        EXPECT_EQ(next[1], 1) << position;
        for (const auto& entry : lists[0]) {
            EXPECT_STREQ(entry, "") << position;
        }
    }
    next[1] = 0;
}

} // namespace
} // namespace opkit_test
