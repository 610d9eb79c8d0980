// The emulated host's parts on their own: clock texts and readings, both clocks, the keyboard's
// prompt answers and stall guard, the screen's edges, user variables, scheduled events and their
// signal, forced results and the trace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/host.h"

namespace {

using namespace hostsim;

struct ClockTextCase {
    Service service;
    int format;
    DateTime time;
    const char* text;
};

TEST(HostClockText, EachFormatLaysOutItsDigits) {
    const ClockTextCase cases[] = {
        {Service::RtcGetAsciiTime, 2, {2026, 5, 12, 14, 30, 5, 0}, "143005"},
        {Service::RtcGetAsciiTime, 2, {2026, 5, 12, 0, 0, 0, 999}, "000000"},
        {Service::RtcGetAsciiTime, 1, {2026, 5, 12, 14, 30, 5, 0}, "023005PM"},
        {Service::RtcGetAsciiTime, 1, {2026, 5, 12, 0, 5, 0, 0}, "120500AM"},
        {Service::RtcGetAsciiTime, 1, {2026, 5, 12, 12, 0, 0, 0}, "120000PM"},
        {Service::RtcGetAsciiTime, 1, {2026, 5, 12, 11, 59, 59, 0}, "115959AM"},
        {Service::RtcGetAsciiDate, 1, {2026, 5, 12, 0, 0, 0, 0}, "051226"},
        {Service::RtcGetAsciiDate, 3, {2026, 5, 12, 0, 0, 0, 0}, "260512"},
        {Service::RtcGetAsciiDate, 3, {2000, 1, 2, 0, 0, 0, 0}, "000102"},
        {Service::RtcGetAsciiDate, 1, {2099, 12, 31, 23, 59, 59, 0}, "123199"},
    };
    for (const ClockTextCase& c : cases) {
        EXPECT_EQ(clock_text(c.service, c.format, c.time), c.text)
            << service_name(c.service) << " format " << c.format << " at "
            << format_date_time(c.time);
    }
}

TEST(HostClockReadings, ReplacementsAreCutToTheCallersBuffer) {
    ClockReadings readings;
    const DateTime t{2026, 5, 12, 14, 30, 5, 0};
    readings.set_text(Service::RtcGetAsciiTime, 1, std::string("0123456789abcdef"));
    readings.set_text(Service::RtcGetAsciiTime, 2, std::string("0123456789abcdef"));
    readings.set_text(Service::RtcGetAsciiDate, 3, std::string("xy"));
    EXPECT_EQ(readings.text(Service::RtcGetAsciiTime, 1, t), "0123456789a");
    EXPECT_EQ(readings.text(Service::RtcGetAsciiTime, 2, t), "0123456");
    EXPECT_EQ(readings.text(Service::RtcGetAsciiDate, 3, t), "xy");
    EXPECT_EQ(readings.text(Service::RtcGetAsciiDate, 1, t), "051226") << "other formats kept";
    readings.set_text(Service::RtcGetAsciiTime, 2, std::nullopt);
    EXPECT_EQ(readings.text(Service::RtcGetAsciiTime, 2, t), "143005");
}

TEST(HostClockReadings, MovesAreTakenOnceByTheirServiceFromTheirTime) {
    ClockReadings readings;
    readings.add_move(Service::RtcGetAsciiDate, 1000, 7);
    readings.add_move(Service::RtcGetAsciiTime, 0, 5);
    readings.add_move(Service::RtcGetAsciiTime, 0, 6);
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiDate, 999), std::nullopt) << "too early";
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiTime, 0), 5) << "first asked, first taken";
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiTime, 0), 6);
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiTime, 5000), std::nullopt);
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiDate, 1000), 7);
    EXPECT_EQ(readings.take_move(Service::RtcGetAsciiDate, 1000), std::nullopt);
}

TEST(HostClocks, VirtualClockMovesOnlyWhenToldAndNeverBackInAWait) {
    std::mutex mutex;
    std::condition_variable wake;
    std::unique_lock<std::mutex> lock(mutex);
    VirtualClock clock(5000);
    clock.pass_until(lock, wake, 4000, [] { return false; });
    EXPECT_EQ(clock.now_ms(), 5000);
    clock.pass_until(lock, wake, 9000, [] { return false; });
    EXPECT_EQ(clock.now_ms(), 9000);
    clock.shift(-2000);
    EXPECT_EQ(clock.now_ms(), 7000);
    EXPECT_EQ(clock.steady_ms(), clock.now_ms());
}

TEST(HostClocks, RealClockKeepsItsSettingAndWaitsOnTheEvent) {
    std::mutex mutex;
    std::condition_variable wake;
    RealClock clock(0);
    clock.set(to_epoch_ms({2030, 1, 1, 0, 0, 0, 0}));
    clock.shift(60000);
    const int64_t minute_in = to_epoch_ms({2030, 1, 1, 0, 1, 0, 0});
    EXPECT_GE(clock.now_ms(), minute_in);
    EXPECT_LT(clock.now_ms(), minute_in + 60000);

    bool posted = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::lock_guard<std::mutex> guard(mutex);
        posted = true;
        wake.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    const int64_t hour = 3600000;
    clock.pass_until(lock, wake, clock.steady_ms() + hour, [&] { return posted; });
    EXPECT_TRUE(posted) << "the wait ended on the event";
    lock.unlock();
    poster.join();

    lock.lock();
    const int64_t until = clock.steady_ms() + 10;
    clock.pass_until(lock, wake, until, [] { return false; });
    EXPECT_GE(clock.steady_ms(), until) << "with no event the wait lasts its time";
}

TEST(HostKeyboard, StallGuardCountsOnlyReadsThatNothingCanAnswer) {
    Keyboard keyboard(3, key_enter);
    EXPECT_FALSE(keyboard.read(true).key);
    EXPECT_FALSE(keyboard.read(false).key) << "an event may come: not counted";
    EXPECT_FALSE(keyboard.read(true).key);
    const Keyboard::Read third = keyboard.read(true);
    EXPECT_EQ(third.key, key_enter);
    EXPECT_EQ(third.stalled, key_enter);
    EXPECT_EQ(keyboard.stalls(), 1);

    keyboard.read(true);
    keyboard.read(true);
    keyboard.reset_empty_reads();
    EXPECT_FALSE(keyboard.read(true).key) << "a timed wait or an event starts the count again";

    Keyboard off(0, key_enter);
    for (int i = 0; i < 100; ++i) {
        ASSERT_FALSE(off.read(true).key);
    }
}

TEST(HostKeyboard, HookAnswersOnlyAPromptWithNoKeyWaiting) {
    Keyboard keyboard(0, key_enter);
    int asked = 0;
    keyboard.set_wait_hook([&]() -> std::optional<uint16_t> {
        ++asked;
        return uint16_t{'y'};
    });
    EXPECT_FALSE(keyboard.read(false).key) << "nothing written: no prompt to answer";
    keyboard.screen_written();
    keyboard.press('a');
    EXPECT_EQ(keyboard.read(false).key, 'a') << "a key waiting is taken first";
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(keyboard.read(false).key) << "taking a key ends the prompt";
    keyboard.screen_written();
    const Keyboard::Read read = keyboard.read(false);
    EXPECT_EQ(read.key, 'y');
    EXPECT_EQ(read.answered, 'y');
    EXPECT_EQ(asked, 1);
}

struct VariableCase {
    const char* what;
    int number;
    std::string text;
    int write_result;
    int read_result;
    const char* read_back;
};

TEST(HostScreen, WritesAndReadsStayInsideTheGrid) {
    Screen screen(2, 4);
    screen.write_text(1, -1, "ab", std::nullopt);
    screen.write_cells(1, 3, "xXyY", 2);
    EXPECT_EQ(screen.rows_text(), (std::vector<std::string>{"    ", "b  x"}))
        << "a write before the row's first column or past its last is clipped, not wrapped";
    char cells[8];
    std::memset(cells, 'q', sizeof cells);
    screen.read_cells(1, 2, cells, 3);
    EXPECT_EQ(std::string(cells, 6), std::string(" \0xX\0\0", 6)) << "blank, then x, then none";
    EXPECT_EQ(std::string(cells + 6, 2), "qq") << "the caller's buffer ends at its count";
    EXPECT_EQ(screen.row_text(-1), "");
    EXPECT_EQ(screen.row_text(2), "");
}

TEST(HostUserVariables, ReadsAndWritesKeepRangeLengthAndReadability) {
    const VariableCase cases[] = {
        {"first", 10, "a", HOSTLIB_OK, HOSTLIB_OK, "a"},
        {"last", 12, "", HOSTLIB_OK, HOSTLIB_OK, ""},
        {"below", 9, "a", HOSTLIB_BAD_NUMBER, HOSTLIB_BAD_NUMBER, ""},
        {"above", 13, "a", HOSTLIB_BAD_NUMBER, HOSTLIB_BAD_NUMBER, ""},
        {"longest", 11, std::string(131, 'v'), HOSTLIB_OK, HOSTLIB_OK, nullptr},
        {"too long", 11, std::string(132, 'w'), HOSTLIB_WRITE_TOO_LONG, HOSTLIB_OK, nullptr},
    };
    UserVariables variables(10, 12);
    for (const VariableCase& c : cases) {
        EXPECT_EQ(variables.write(c.number, c.text), c.write_result) << c.what;
        std::string back = "junk";
        EXPECT_EQ(variables.read(c.number, back), c.read_result) << c.what;
        if (c.read_back != nullptr) {
            EXPECT_EQ(c.read_result == HOSTLIB_OK ? back : "", c.read_back) << c.what;
        }
    }
    EXPECT_EQ(variables.value(11), std::string(131, 'v')) << "a refused write changes nothing";
    variables.set_unreadable(11, true);
    std::string back;
    EXPECT_EQ(variables.read(11, back), HOSTLIB_UNREADABLE);
    EXPECT_EQ(variables.value(11), std::string(131, 'v')) << "the host itself still sees it";
    variables.assign(10, std::string(200, 'h'));
    EXPECT_EQ(variables.value(10)->size(), size_t{HOSTLIB_VARIABLE_MAX});
    EXPECT_EQ(variables.value(13), std::nullopt);
}

TEST(HostEvents, DueEventsComeInTimeOrderThenInOrderAdded) {
    EventSchedule schedule;
    schedule.add(300, KeyEvent{3});
    schedule.add(100, KeyEvent{1});
    schedule.add(300, KeyEvent{4});
    schedule.add(200, KeyEvent{2});
    schedule.add(900, StopEvent{});
    EXPECT_EQ(schedule.next_due(), 100);
    const std::vector<HostEvent> due = schedule.take_due(300);
    ASSERT_EQ(due.size(), 4U);
    for (size_t i = 0; i < due.size(); ++i) {
        EXPECT_EQ(std::get<KeyEvent>(due[i]).code, i + 1);
    }
    EXPECT_EQ(schedule.size(), 1U);
    EXPECT_EQ(schedule.next_due(), 900);
    EXPECT_TRUE(schedule.take_due(899).empty());
}

TEST(HostEvents, SignalTellsWaitsAndIdleCallsWhatCameSinceTheyLooked) {
    EventSignal signal;
    EXPECT_FALSE(signal.came_since_wait());
    EXPECT_TRUE(signal.polling());
    signal.signal();
    EXPECT_TRUE(signal.came_since_wait());
    EXPECT_FALSE(signal.polling()) << "an event came since the last idle call";
    signal.end_wait();
    EXPECT_FALSE(signal.came_since_wait());
    EXPECT_FALSE(signal.end_idle());
    EXPECT_TRUE(signal.polling());
    signal.end_wait();
    EXPECT_FALSE(signal.polling()) << "the caller waited since the last idle call";
    signal.request_stop();
    EXPECT_TRUE(signal.end_idle());
    EXPECT_FALSE(signal.end_idle()) << "a stop is answered once";
}

TEST(HostCalls, ForcedResultsQueuePerService) {
    ForcedResults forced;
    forced.add(Service::KbdReadAscii, {5, false});
    forced.add(Service::KbdReadAscii, {0, true});
    forced.add(Service::WaitEvent, {1, false});
    EXPECT_EQ(forced.take(Service::KbdReadAscii)->result, 5);
    EXPECT_EQ(forced.take(Service::WaitEvent)->result, 1);
    const auto second = forced.take(Service::KbdReadAscii);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->perform);
    EXPECT_FALSE(forced.take(Service::KbdReadAscii));
    EXPECT_FALSE(forced.take(Service::IdleManager));
}

TEST(HostCalls, FullTraceKeepsItsFirstEntriesAndTheLatest) {
    Trace trace(3);
    for (int i = 0; i < 6; ++i) {
        trace.record(
            TraceEntry{i % 2 == 0 ? Service::WaitEvent : Service::IdleManager, {i}, {}, 0});
    }
    ASSERT_EQ(trace.entries().size(), 3U);
    EXPECT_EQ(trace.entries()[0].args, std::vector<int64_t>{0});
    EXPECT_EQ(trace.entries()[1].args, std::vector<int64_t>{1});
    EXPECT_EQ(trace.entries()[2].args, std::vector<int64_t>{5});
    EXPECT_EQ(trace.count_of(Service::WaitEvent), 1U);
    EXPECT_EQ(trace.of(Service::IdleManager).size(), 2U);
    trace.set_enabled(false);
    trace.clear();
    trace.record(TraceEntry{Service::WaitEvent, {}, {}, 0});
    EXPECT_TRUE(trace.entries().empty());
    EXPECT_EQ((TraceEntry{Service::WriteUserVariable, {3}, "a\x01", 5}).to_string(),
              "_WriteUserVariable(\"a\\x01\", 3) = 5");
    // Services that carry a text show it even when it is empty.
    EXPECT_EQ((TraceEntry{Service::WriteUserVariable, {3}, "", 0}).to_string(),
              "_WriteUserVariable(\"\", 3) = 0");
    EXPECT_EQ((TraceEntry{Service::VioWrtCharStrAtt, {0, 1, 2}, "", 0}).to_string(),
              "_VioWrtCharStrAtt(\"\", 0, 1, 2) = 0");
}

} // namespace
