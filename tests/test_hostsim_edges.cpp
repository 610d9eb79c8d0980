// The emulated host at its edges: the smallest screens it makes, the date and time texts it
// takes (each field one past its range), the clock services' status byte, the note that a
// key wait answered by the host leaves in the trace, the clock moved with nothing scheduled,
// the stall guard's count of empty reads in a row, the trace switched off, and texts written
// into the caller's buffer up to their NUL and no further.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace {

using hostsim::DateTime;

TEST(HostEdges, ScreenHasAtLeastOneRowAndColumn) {
    struct Case {
        int rows, columns;
        size_t expected_rows, expected_columns;
    };
    for (const Case c :
         {Case{1, 1, 1, 1}, Case{0, 0, 1, 1}, Case{-3, 5, 1, 5}, Case{2, -1, 2, 1}}) {
        hostsim::HostOptions options;
        options.rows = c.rows;
        options.columns = c.columns;
        hostsim::Host host(options);
        const auto rows = host.screen_rows();
        EXPECT_EQ(rows.size(), c.expected_rows) << c.rows << "x" << c.columns;
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].size(), c.expected_columns) << c.rows << "x" << c.columns;
    }
}

TEST(HostEdges, DateTimeTextTakesEachFieldUpToItsLimitAndNoFurther) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"2099-12-31 23:59:59", true},  {"2100-01-01 00:00:00", false},
        {"2026-13-01 00:00:00", false}, {"2026-00-10 00:00:00", false},
        {"2026-04-30 00:00", true},     {"2026-04-31 00:00", false},
        {"2026-01-00 00:00", false},    {"2026-01-01 24:00", false},
        {"2026-01-01 12:60", false},    {"2026-01-01 12:00:60", false},
        {"2026-01-01 -1:00", false},    {"2000-01-01 00:00", true},
        {"2026-03-01 00:00", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hostsim::parse_date_time(c.text).has_value(), c.valid) << c.text;
    }
    EXPECT_EQ(hostsim::parse_date_time("2026-06-15 07:08"), (DateTime{2026, 6, 15, 7, 8, 0, 0}));
}

TEST(HostEdges, ClockServicesClearTheStatusByteAndAcceptNone) {
    hostsim::Host host;
    char text[16];
    for (const bool time : {true, false}) {
        uint8_t status = 0xFF;
        const int result = time ? host.svc_time(1, text, &status) : host.svc_date(1, text, &status);
        EXPECT_EQ(result, HOSTLIB_OK);
        EXPECT_EQ(status, 0) << (time ? "time" : "date");
        std::memset(text, 0, sizeof text);
        EXPECT_EQ(time ? host.svc_time(1, text, nullptr) : host.svc_date(1, text, nullptr),
                  HOSTLIB_OK);
        EXPECT_NE(text[0], '\0') << "the text is written without a status byte";
    }
}

TEST(HostEdges, KeyWaitAnsweredByTheHookIsNotedOnceWithItsKey) {
    hostsim::Host host;
    int asked = 0;
    host.set_key_wait_hook([&asked]() -> std::optional<uint16_t> {
        ++asked;
        return hostsim::key_enter;
    });
    uint16_t key = 0;
    // Nothing written yet: no prompt to answer, the read finds no key.
    EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_NO_KEY);
    EXPECT_EQ(asked, 0);
    host.svc_write_text("Press a key", 11, 1, 0, std::nullopt, 0);
    EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_OK);
    EXPECT_EQ(key, hostsim::key_enter);
    EXPECT_EQ(asked, 1);
    const auto notes = host.trace_of(hostsim::Service::HostNote);
    ASSERT_EQ(notes.size(), 1U);
    EXPECT_EQ(notes[0].text, "key wait answered");
    EXPECT_EQ(notes[0].result, 0);
    EXPECT_EQ(notes[0].args, std::vector<int64_t>{hostsim::key_enter});
    // The key was taken: the next read waits for another prompt.
    EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_NO_KEY);
    EXPECT_EQ(asked, 1);
}

TEST(HostEdges, AdvanceMovesTheClockWithOrWithoutEventsOnTheWay) {
    hostsim::Host host; // starts at 2026-01-01 12:00:00
    host.advance(std::chrono::seconds(90));
    EXPECT_EQ(host.now(), (DateTime{2026, 1, 1, 12, 1, 30, 0}));
    host.schedule_after(std::chrono::seconds(10), hostsim::VariableEvent{3, "due"});
    host.advance(std::chrono::seconds(30));
    EXPECT_EQ(host.now(), (DateTime{2026, 1, 1, 12, 2, 0, 0})) << "past the event, to the end";
    EXPECT_EQ(host.variable(3), "due");
}

// The stall guard presses its key only after `stall_limit` empty reads in a row: an event or a
// timed wait between them starts the count again.
TEST(HostEdges, StallGuardCountsOnlyEmptyReadsInARow) {
    hostsim::HostOptions options;
    options.stall_limit = 3;
    hostsim::Host host(options);
    uint16_t key = 0;
    const auto two_empty_reads = [&] {
        EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_NO_KEY);
        EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_NO_KEY);
    };
    two_empty_reads();
    host.set_variable(5, "scanned"); // an event
    two_empty_reads();
    EXPECT_EQ(host.svc_wait_event(10), HOSTLIB_OK);
    two_empty_reads();
    EXPECT_EQ(host.stall_count(), 0);
    EXPECT_EQ(host.svc_read_key(&key), HOSTLIB_OK) << "the third empty read in a row";
    EXPECT_EQ(key, options.stall_key);
    EXPECT_EQ(host.stall_count(), 1);
}

TEST(HostEdges, TraceSwitchedOffRecordsNothingUntilSwitchedOn) {
    hostsim::Host host;
    host.set_trace_enabled(false);
    EXPECT_EQ(host.svc_set_cursor_type(1), HOSTLIB_OK);
    EXPECT_TRUE(host.trace().empty());
    host.set_trace_enabled(true);
    EXPECT_EQ(host.svc_set_cursor_type(2), HOSTLIB_OK);
    ASSERT_EQ(host.trace().size(), 1U);
    EXPECT_EQ(host.trace()[0].args, std::vector<int64_t>{2});
}

// A text read from a user variable fills the caller's buffer up to its NUL and not a byte more:
// the plug-in's buffers are sized for the longest text.
TEST(HostEdges, VariableTextEndsAtItsNul) {
    hostsim::Host host;
    host.set_variable(3, "abc");
    char text[16];
    std::memset(text, 'Z', sizeof text);
    ASSERT_EQ(host.svc_read_variable(3, text), HOSTLIB_OK);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(text[4], 'Z');
}

// The real clock starts at the local date and time (the year kept to the clock's years).
TEST(HostEdges, LocalTimeIsTheSystemsLocalDate) {
    const std::time_t before = std::time(nullptr);
    const DateTime now = hostsim::local_time_now();
    const std::time_t after = std::time(nullptr);
    bool matched = false;
    for (const std::time_t t : {before, after}) {
        const std::tm local = *std::localtime(&t);
        matched = matched || (now.month == local.tm_mon + 1 && now.day == local.tm_mday &&
                              now.hour == local.tm_hour && now.minute == local.tm_min);
    }
    EXPECT_TRUE(matched) << now.year << "-" << now.month << "-" << now.day << " " << now.hour << ":"
                         << now.minute;
}

// The case-insensitive compare that hostlib exports orders texts as well as matching them.
TEST(HostEdges, CaseInsensitiveCompareOrdersTexts) {
    const struct {
        const char *left, *right;
        int sign;
    } cases[] = {{"amer", "AMER", 0}, {"", "", 0},   {"abc", "ABD", -1},  {"b", "A", 1},
                 {"a", "", 1},        {"", "a", -1}, {"Zeta", "alpha", 1}};
    for (const auto& c : cases) {
        const int result = stricmp(c.left, c.right);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.left << " / " << c.right;
    }
}

} // namespace
