// The emulated host on its own: screen clipping, variable limits and results, the keyboard,
// the virtual clock, its texts and moves between readings, scheduled events, zero waits, and
// event waits on the real clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "hostsim/host.h"

namespace {

using hostsim::DateTime;
using hostsim::Host;
using hostsim::HostOptions;
using hostsim::Service;
using namespace std::chrono_literals;

struct HostTest : ::testing::Test {
    HostTest() { host.make_current(); }
    Host host;
    uint16_t word = 0;
};

TEST_F(HostTest, WritesOutsideTheScreenAreClipped) {
    EXPECT_EQ(_VioWrtCharStr("abcdef", 6, 0, 37, &word, 0), 0);
    EXPECT_EQ(host.screen_row(0).substr(37), "abc");
    EXPECT_EQ(_VioWrtCharStr("zz", 2, 20, 0, &word, 0), 0);
    EXPECT_EQ(_VioWrtCharStr("zz", 2, 255, 255, &word, 0), 0);
    EXPECT_EQ(host.screen_rows().size(), 20U);
    char cells[8];
    std::memset(cells, 'q', sizeof cells);
    EXPECT_EQ(_VioReadCellStr(cells, 4, 0, 38, &word, 0), 0);
    EXPECT_EQ(cells[0], 'b');
    EXPECT_EQ(cells[2], 'c');
    EXPECT_EQ(cells[4], '\0') << "cells beyond the screen read as zero bytes";
    EXPECT_EQ(cells[7], '\0');
}

TEST_F(HostTest, CellsCarryCharacterThenAttribute) {
    EXPECT_EQ(_VioWrtCharStrAtt("AB", 2, 3, 2, 1, &word, 0), 0);
    char cells[4];
    _VioReadCellStr(cells, 2, 3, 2, &word, 0);
    EXPECT_EQ(cells[0], 'A');
    EXPECT_EQ(cells[1], 1);
    const char back[] = {'x', 0, 'y', 1};
    _VioWrtCellStr(back, 2, 4, 0, &word, 0);
    EXPECT_EQ(host.cell(4, 0), (hostsim::Cell{'x', 0}));
    EXPECT_EQ(host.cell(4, 1), (hostsim::Cell{'y', 1}));
    // Plain text keeps the attribute that a cell already has.
    _VioWrtCharStr("C", 1, 3, 2, &word, 0);
    EXPECT_EQ(host.cell(3, 2), (hostsim::Cell{'C', 1}));
}

TEST_F(HostTest, UserVariablesKeepTheirLimitsAndResults) {
    char text[HOSTLIB_VARIABLE_MAX + 1] = "junk";
    EXPECT_EQ(_ReadUserVariable(5, text), 0);
    EXPECT_STREQ(text, "") << "variables start empty";

    const std::string longest(131, 'v');
    EXPECT_EQ(_WriteUserVariable(5, longest.c_str()), 0);
    EXPECT_EQ(host.variable(5), longest);
    const std::string too_long(132, 'w');
    EXPECT_EQ(_WriteUserVariable(5, too_long.c_str()), 5);
    EXPECT_EQ(host.variable(5), longest) << "a refused write changes nothing";

    EXPECT_EQ(_WriteUserVariable(0, "x"), 1);
    EXPECT_EQ(_WriteUserVariable(100, "x"), 1);
    EXPECT_EQ(_ReadUserVariable(0, text), 1);
    EXPECT_EQ(_ReadUserVariable(-1, text), 1);
    EXPECT_EQ(_ReadUserVariable(99, text), 0);

    host.set_unreadable(7, true);
    EXPECT_EQ(_ReadUserVariable(7, text), 3);
    host.set_unreadable(7, false);
    EXPECT_EQ(_ReadUserVariable(7, text), 0);
}

TEST(HostRange, VariableRangeIsConfigurable) {
    HostOptions options;
    options.first_variable = 10;
    options.last_variable = 12;
    Host host(options);
    host.make_current();
    char text[132];
    EXPECT_EQ(_ReadUserVariable(9, text), 1);
    EXPECT_EQ(_ReadUserVariable(12, text), 0);
    EXPECT_EQ(_WriteUserVariable(13, "x"), 1);
}

TEST_F(HostTest, KeyboardQueueAnswersFiveWhenEmpty) {
    uint16_t key = 77;
    EXPECT_EQ(_KbdReadAscii(&key), 5);
    EXPECT_EQ(key, 77);
    host.press_key(256);
    host.press_key(13);
    EXPECT_EQ(_KbdReadAscii(&key), 0);
    EXPECT_EQ(key, 256);
    EXPECT_EQ(_KbdReadAscii(&key), 0);
    EXPECT_EQ(key, 13);
}

TEST_F(HostTest, ClockTextsFollowTheHostFormats) {
    host.set_clock({2026, 5, 12, 14, 30, 5, 0});
    char text[12];
    uint8_t status = 0;
    _RtcGetAsciiTime(2, text, &status);
    EXPECT_STREQ(text, "143005");
    _RtcGetAsciiTime(1, text, &status);
    EXPECT_STREQ(text, "023005PM");
    _RtcGetAsciiDate(1, text, &status);
    EXPECT_STREQ(text, "051226");
    _RtcGetAsciiDate(3, text, &status);
    EXPECT_STREQ(text, "260512");
    host.set_clock({2026, 5, 12, 0, 5, 0, 0});
    _RtcGetAsciiTime(1, text, &status);
    EXPECT_STREQ(text, "120500AM");
    host.set_clock({2026, 5, 12, 12, 0, 0, 0});
    _RtcGetAsciiTime(1, text, &status);
    EXPECT_STREQ(text, "120000PM");
}

TEST_F(HostTest, ClockTextOverridesAreBoundedByTheCallersBuffer) {
    host.set_clock_text(Service::RtcGetAsciiDate, 1, std::string("0123456789"));
    char text[12];
    uint8_t status = 0;
    _RtcGetAsciiDate(1, text, &status);
    EXPECT_STREQ(text, "0123456");
    host.set_clock_text(Service::RtcGetAsciiDate, 1, std::nullopt);
    _RtcGetAsciiDate(1, text, &status);
    EXPECT_EQ(std::strlen(text), 6U);
}

TEST_F(HostTest, VirtualWaitAdvancesTheClockInstantly) {
    host.set_clock({2026, 12, 31, 23, 59, 0, 0});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(_WaitEvent(120000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(host.now(), (DateTime{2027, 1, 1, 0, 1, 0, 0}));
}

TEST_F(HostTest, VirtualWaitEndsAtTheFirstScheduledEvent) {
    const int64_t start = host.now_ms();
    host.schedule(start + 1500, hostsim::VariableEvent{4, "ready"});
    EXPECT_EQ(_WaitEvent(60000), 0);
    EXPECT_EQ(host.now_ms() - start, 1500);
    EXPECT_EQ(host.variable(4), "ready");
    // The event was consumed by that wait: the next one runs its full time.
    EXPECT_EQ(_WaitEvent(1000), 0);
    EXPECT_EQ(host.now_ms() - start, 2500);
}

TEST_F(HostTest, ZeroWaitLastsUntilTheNextSecondTick) {
    host.set_clock({2026, 6, 1, 8, 0, 0, 250});
    EXPECT_EQ(_WaitEvent(0), 0);
    EXPECT_EQ(host.now(), (DateTime{2026, 6, 1, 8, 0, 1, 0}));
    EXPECT_EQ(_WaitEvent(0), 0);
    EXPECT_EQ(host.now(), (DateTime{2026, 6, 1, 8, 0, 2, 0}));
    // An event ends it sooner.
    host.schedule_after(std::chrono::milliseconds(40), hostsim::KeyEvent{1});
    EXPECT_EQ(_WaitEvent(0), 0);
    EXPECT_EQ(host.now(), (DateTime{2026, 6, 1, 8, 0, 2, 40}));
}

TEST(HostZeroWait, AtOnceHostLetsAZeroWaitTakeNoTime) {
    HostOptions options;
    options.zero_wait_returns_at_once = true;
    options.zero_wait_ms = 500; // overridden
    Host host(options);
    host.make_current();
    const int64_t start = host.now_ms();
    EXPECT_EQ(_WaitEvent(0), 0);
    EXPECT_EQ(host.now_ms(), start);
    EXPECT_EQ(_WaitEvent(20), 0) << "timed waits are unchanged";
    EXPECT_EQ(host.now_ms(), start + 20);
}

TEST_F(HostTest, ClockMovesRightAfterTheChosenReading) {
    host.set_clock({2026, 3, 14, 23, 59, 59, 500});
    const int64_t start = host.now_ms();
    host.schedule(start + 800, hostsim::KeyEvent{'k'});
    host.move_clock_after_reading(Service::RtcGetAsciiTime, 600ms);         // the next time
    host.move_clock_after_reading(Service::RtcGetAsciiDate, 1h, start + 1); // not yet due
    char text[12];
    uint8_t status = 0;
    _RtcGetAsciiDate(3, text, &status);
    EXPECT_STREQ(text, "260314") << "a date read before its time moves nothing";
    _RtcGetAsciiTime(2, text, &status);
    EXPECT_STREQ(text, "235959") << "the reading sees the time before the move";
    EXPECT_EQ(host.now_ms(), start + 600);
    _RtcGetAsciiDate(3, text, &status);
    EXPECT_STREQ(text, "260315");
    EXPECT_EQ(host.now(), (DateTime{2026, 3, 15, 1, 0, 0, 100}));
    EXPECT_EQ(host.keys_waiting(), 1U) << "events that fell due were delivered";
    _RtcGetAsciiTime(2, text, &status);
    _RtcGetAsciiDate(3, text, &status);
    EXPECT_EQ(host.now(), (DateTime{2026, 3, 15, 1, 0, 0, 100})) << "each move happens once";
}

TEST_F(HostTest, PendingEventEndsTheNextWaitAtOnce) {
    host.press_key('a');
    const int64_t start = host.now_ms();
    EXPECT_EQ(_WaitEvent(5000), 0);
    EXPECT_EQ(host.now_ms(), start);
}

TEST_F(HostTest, AdvanceDeliversEventsInTimeOrder) {
    const int64_t start = host.now_ms();
    host.schedule(start + 300, hostsim::KeyEvent{2});
    host.schedule(start + 100, hostsim::KeyEvent{1});
    host.schedule(start + 900, hostsim::KeyEvent{3});
    host.schedule(start + 500, hostsim::KeyEvent{4});
    host.advance(500ms);
    EXPECT_EQ(host.keys_waiting(), 3U) << "an event due at the end of the move comes with it";
    uint16_t key = 0;
    _KbdReadAscii(&key);
    EXPECT_EQ(key, 1);
    _KbdReadAscii(&key);
    EXPECT_EQ(key, 2);
    EXPECT_EQ(host.events_scheduled(), 1U);
}

TEST_F(HostTest, IdleManagerAnswersAStopRequestOnce) {
    EXPECT_EQ(_IdleManager(0), 0);
    host.request_stop();
    EXPECT_EQ(_IdleManager(0), 1);
    EXPECT_EQ(_IdleManager(0), 0);
}

TEST_F(HostTest, ForcedResultsReplaceTheNextAnswer) {
    char text[132] = "untouched";
    host.set_variable(2, "value");
    host.force_result(Service::ReadUserVariable, 0, false);
    EXPECT_EQ(_ReadUserVariable(2, text), 0);
    EXPECT_STREQ(text, "untouched");
    host.force_result(Service::ReadUserVariable, 1, true);
    EXPECT_EQ(_ReadUserVariable(2, text), 1);
    EXPECT_STREQ(text, "value");
    EXPECT_EQ(_ReadUserVariable(2, text), 0);
}

// Every export of hostlib reaches its own service of the host: one trace entry per call,
// under the export's name, with the arguments the service received.
TEST_F(HostTest, EachExportIsTracedUnderItsOwnName) {
    char text[132] = {};
    char cells[8] = {};
    uint16_t key = 0;
    uint8_t status = 0;
    host.press_key('k');
    struct Call {
        const char* name;
        Service service;
        int (*call)(char*, char*, uint16_t*, uint8_t*, uint16_t*);
        const char* shown;
    } const calls[] = {
        {"_VioWrtCharStr", Service::VioWrtCharStr,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t* w) {
             return _VioWrtCharStr("ab", 2, 1, 2, w, 0);
         },
         "_VioWrtCharStr(\"ab\", 2, 1, 2, 0) = 0"},
        {"_VioWrtCharStrAtt", Service::VioWrtCharStrAtt,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t* w) {
             return _VioWrtCharStrAtt("c", 1, 3, 4, 0x70, w, 0);
         },
         nullptr},
        {"_VioReadCellStr", Service::VioReadCellStr,
         [](char*, char* c, uint16_t*, uint8_t*, uint16_t* w) {
             return _VioReadCellStr(c, 2, 1, 2, w, 0);
         },
         nullptr},
        {"_VioWrtCellStr", Service::VioWrtCellStr,
         [](char*, char* c, uint16_t*, uint8_t*, uint16_t* w) {
             return _VioWrtCellStr(c, 2, 5, 6, w, 0);
         },
         nullptr},
        {"_VioSetCurPos", Service::VioSetCurPos,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _VioSetCurPos(7, 8); },
         "_VioSetCurPos(7, 8) = 0"},
        {"_VioSetCurType", Service::VioSetCurType,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _VioSetCurType(1); }, nullptr},
        {"_KbdReadAscii", Service::KbdReadAscii,
         [](char*, char*, uint16_t* k, uint8_t*, uint16_t*) { return _KbdReadAscii(k); }, nullptr},
        {"_WaitEvent", Service::WaitEvent,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _WaitEvent(0); }, nullptr},
        {"_IdleManager", Service::IdleManager,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _IdleManager(0); },
         "_IdleManager(0) = 0"},
        {"_RtcGetAsciiTime", Service::RtcGetAsciiTime,
         [](char* t, char*, uint16_t*, uint8_t* s, uint16_t*) {
             return _RtcGetAsciiTime(HOSTLIB_TIME_24, t, s);
         },
         nullptr},
        {"_RtcGetAsciiDate", Service::RtcGetAsciiDate,
         [](char* t, char*, uint16_t*, uint8_t* s, uint16_t*) {
             return _RtcGetAsciiDate(HOSTLIB_DATE_YMD, t, s);
         },
         nullptr},
        {"_ReadUserVariable", Service::ReadUserVariable,
         [](char* t, char*, uint16_t*, uint8_t*, uint16_t*) { return _ReadUserVariable(3, t); },
         nullptr},
        {"_WriteUserVariable", Service::WriteUserVariable,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _WriteUserVariable(3, "v"); },
         "_WriteUserVariable(\"v\", 3) = 0"},
        {"_TransactionMsg", Service::TransactionMsg,
         [](char*, char*, uint16_t*, uint8_t*, uint16_t*) { return _TransactionMsg(1); },
         "_TransactionMsg(1) = 0"},
    };
    for (const Call& c : calls) {
        host.clear_trace();
        c.call(text, cells, &key, &status, &word);
        const auto entries = host.trace();
        ASSERT_EQ(entries.size(), 1U) << c.name;
        EXPECT_EQ(entries[0].service, c.service) << c.name;
        EXPECT_STREQ(hostsim::service_name(c.service), c.name);
        if (c.shown != nullptr) {
            EXPECT_EQ(entries[0].to_string(), c.shown);
        }
    }
    EXPECT_EQ(key, 'k');
    EXPECT_EQ(host.screen_row(3).substr(4, 1), "c");
    EXPECT_STREQ(hostsim::service_name(Service::HostNote), "host");
}

TEST_F(HostTest, StallGuardPressesAKeyWhenNothingCanArrive) {
    uint16_t key = 0;
    int reads = 0;
    while (_KbdReadAscii(&key) == 5) {
        _WaitEvent(0);
        ASSERT_LT(++reads, 20000);
    }
    EXPECT_EQ(key, 13) << "Enter, the key that ends the self test and answers a prompt";
    EXPECT_EQ(host.stall_count(), 1);
}

// A loop that polls the keyboard and the idle call without waiting (the self-test's) meets
// scheduled keys at their times on the virtual clock, as a loop that waits does; the prompt's
// wait hook answers only when no key is scheduled to come.
TEST_F(HostTest, APollingLoopMeetsScheduledKeysAtTheirTimes) {
    int answered = 0;
    host.set_key_wait_hook([&answered]() -> std::optional<uint16_t> {
        ++answered;
        return hostsim::key_enter;
    });
    const int64_t start = host.now_ms();
    host.schedule(start + 1540, hostsim::KeyEvent{'x'});
    host.schedule(start + 1775, hostsim::KeyEvent{13});
    std::vector<std::pair<uint16_t, int64_t>> keys;
    for (int pass = 0; pass < 1000 && (keys.empty() || keys.back().first != 13); ++pass) {
        _VioWrtCharStr("prompt", 6, 0, 0, &word, 0);
        uint16_t key = 0;
        if (_KbdReadAscii(&key) == 0) {
            keys.emplace_back(key, host.now_ms() - start);
        }
        _IdleManager(0);
    }
    const std::vector<std::pair<uint16_t, int64_t>> expected{{'x', 1540}, {13, 1775}};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(answered, 0);
    EXPECT_EQ(host.events_scheduled(), 0U);
    // With nothing scheduled the hook answers at once, and the loop costs no time.
    uint16_t key = 0;
    const int64_t before = host.now_ms();
    _VioWrtCharStr("prompt", 6, 0, 0, &word, 0);
    EXPECT_EQ(_KbdReadAscii(&key), 0);
    _IdleManager(0);
    EXPECT_EQ(key, 13);
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(host.now_ms(), before);
}

TEST_F(HostTest, TransactionSwitchAndCursorAreKept) {
    EXPECT_TRUE(host.transaction_messages());
    // A fresh host's cursor stands at the top left, in shape 0, until a service moves it.
    EXPECT_EQ(host.cursor_row(), 0);
    EXPECT_EQ(host.cursor_column(), 0);
    EXPECT_EQ(host.cursor_type(), 0);
    _TransactionMsg(0);
    EXPECT_FALSE(host.transaction_messages());
    _VioSetCurPos(5, 10);
    _VioSetCurType(4);
    EXPECT_EQ(host.cursor_row(), 5);
    EXPECT_EQ(host.cursor_column(), 10);
    EXPECT_EQ(host.cursor_type(), 4);
}

TEST(HostTime, EpochConversionRoundTripsAcrossLeapDays) {
    for (const DateTime t :
         {DateTime{2000, 1, 1, 0, 0, 0, 0}, DateTime{2000, 2, 29, 23, 59, 59, 999},
          DateTime{2024, 3, 1, 0, 0, 0, 0}, DateTime{2099, 12, 31, 23, 59, 59, 0}}) {
        EXPECT_EQ(hostsim::from_epoch_ms(hostsim::to_epoch_ms(t)), t);
    }
    EXPECT_EQ(hostsim::to_epoch_ms({2000, 3, 1, 0, 0, 0, 0}) -
                  hostsim::to_epoch_ms({2000, 2, 28, 0, 0, 0, 0}),
              2 * 86400000LL);
    // A time left at its defaults is where the clock counts from, 2000-01-01 00:00:00: a date
    // that every conversion accepts.
    EXPECT_EQ(hostsim::to_epoch_ms(DateTime{}), 0);
    EXPECT_EQ(hostsim::from_epoch_ms(0), DateTime{});
    EXPECT_EQ(hostsim::parse_date_time("2024-02-29 23:59:59"),
              (DateTime{2024, 2, 29, 23, 59, 59, 0}));
    EXPECT_FALSE(hostsim::parse_date_time("2023-02-29 00:00:00"));
    EXPECT_FALSE(hostsim::parse_date_time("1999-12-31 00:00:00"));
    EXPECT_FALSE(hostsim::parse_date_time("tomorrow"));
}

TEST(HostRealClock, WaitReturnsWhenAnotherThreadPostsAnEvent) {
    HostOptions options;
    options.clock = hostsim::ClockMode::real_time;
    Host host(options);
    host.make_current();
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        host.press_key(256);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(_WaitEvent(60000), 0);
    const auto waited = std::chrono::steady_clock::now() - started;
    poster.join();
    EXPECT_LT(waited, 30s) << "the wait ended on the event, not on its timeout";
    uint16_t key = 0;
    EXPECT_EQ(_KbdReadAscii(&key), 0);
    EXPECT_EQ(key, 256);
}

TEST(HostRealClock, ScheduledEventEndsARealWait) {
    HostOptions options;
    options.clock = hostsim::ClockMode::real_time;
    Host host(options);
    host.make_current();
    host.schedule_after(30ms, hostsim::VariableEvent{3, "scan"});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(_WaitEvent(60000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    EXPECT_EQ(host.variable(3), "scan");
}

} // namespace

namespace {

TEST(HostRealClock, PollingIdleCallsRestUntilAnEvent) {
    HostOptions options;
    options.clock = hostsim::ClockMode::real_time;
    options.idle_tick_ms = 60000; // only an event can end the idle call in time
    Host host(options);
    host.make_current();
    std::thread poster([&] {
        std::this_thread::sleep_for(30ms);
        host.press_key(13);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(_IdleManager(0), 0);
    const auto rested = std::chrono::steady_clock::now() - started;
    EXPECT_LT(rested, 30s);
    // The key comes 30 ms in at the earliest: a call that returned before it did not rest.
    EXPECT_GE(rested, 25ms) << "the idle call returned at once instead of resting";
    poster.join();
    uint16_t key = 0;
    EXPECT_EQ(_KbdReadAscii(&key), 0);
    EXPECT_EQ(key, 13);
}

} // namespace
