// V_DELAY and WAIT_UV on the virtual clock: pass counts, how the abort key and a stop end them,
// WAIT_UV's event waits and three results, its short waits once the timeout has been slept,
// waits across midnights and readings torn by one, and the seconds count.
#include "support.h"

#include "units.h"

namespace opkit_test {
namespace {

using hostsim::DateTime;
using HostEventMaker = hostsim::HostEvent (*)();
using hostsim::KeyEvent;
using hostsim::StopEvent;
using hostsim::VariableEvent;
using namespace std::chrono_literals;
using namespace std::string_literals;

using DelayTest = PluginTest;

TEST_F(DelayTest, PassCountsFollowTheCount) {
    const struct {
        const char* record;
        size_t passes;
    } cases[] = {
        {"08V_DELAY", 1},         {"09V_DELAY 3", 8},  {"09V_DELAY 1", 2},
        {"10V_DELAY 10", 26},     {"09V_DELAY 0", 1},  {"10V_DELAY -5", 1},
        {"13V_DELAY 00099", 264}, {"13V_DELAY 5", 13}, // the record ends before its length
        {"05V_DELAY", 1},         {"07V_DELAY 9", 1},  {"-1V_DELAY 9", 1}, // no room for a count
    };
    for (const auto& c : cases) {
        host.clear_trace();
        const int64_t start = host.now_ms();
        EXPECT_EQ(call(c.record), 0);
        const auto trace = trace_text();
        ASSERT_EQ(trace.size(), 3 * c.passes) << c.record;
        for (size_t pass = 0; pass < c.passes; ++pass) {
            EXPECT_EQ(trace[3 * pass], "_WaitEvent(20) = 0");
            EXPECT_EQ(trace[3 * pass + 1], "_IdleManager(0) = 0");
            EXPECT_EQ(trace[3 * pass + 2], "_KbdReadAscii() = 5");
        }
        EXPECT_EQ(host.now_ms() - start, static_cast<int64_t>(20 * c.passes)) << c.record;
    }
}

TEST_F(DelayTest, TooLongRecordGivesV3) {
    for (const char* record : {"14V_DELAY 12345", "99V_DELAY"}) {
        host.press_key('k');
        EXPECT_EQ(call(record), 0);
        EXPECT_EQ(notice_code(), "V3");
    }
    EXPECT_EQ(host.count_of(Service::IdleManager), 0U);
}

TEST_F(DelayTest, AbortKeyAndStopEndTheDelayAfterTheirPass) {
    host.schedule_after(50ms, KeyEvent{'a'}); // consumed, the delay goes on
    call("10V_DELAY 10");
    EXPECT_EQ(host.count_of(Service::WaitEvent), 26U);
    EXPECT_EQ(host.keys_waiting(), 0U);

    host.clear_trace();
    host.schedule_after(100ms, KeyEvent{hostsim::key_abort});
    call("10V_DELAY 99");
    EXPECT_EQ(host.count_of(Service::WaitEvent), 5U);

    host.clear_trace();
    host.schedule_after(45ms, StopEvent{});
    host.schedule_after(45ms, KeyEvent{'b'});
    call("10V_DELAY 99");
    EXPECT_EQ(host.count_of(Service::WaitEvent), 3U);
    EXPECT_EQ(trace_text().back(), "_KbdReadAscii(98) = 0") << "the ending pass reads the key";
}

struct WaitUvTest : PluginTest {
    explicit WaitUvTest(hostsim::HostOptions options = {}) : PluginTest(options) {}
    static std::string record(std::string_view timeout, std::string_view variable = "05") {
        return make_record(22, "WAIT_UV", {{14, variable}, {21, timeout}});
    }
    std::vector<int64_t> waits() const {
        std::vector<int64_t> out;
        for (const auto& wait : host.trace_of(Service::WaitEvent)) {
            out.push_back(wait.args.at(0));
        }
        return out;
    }
    void consume_pending_events() { _WaitEvent(0), host.clear_trace(); }
};

TEST_F(WaitUvTest, ThreeResultsAndTheirWaits) {
    host.schedule_after(2s, KeyEvent{'a'});
    host.schedule_after(6s, VariableEvent{5, "done"});
    EXPECT_EQ(call(record("10")), 1);
    EXPECT_EQ(waits(), (std::vector<int64_t>{10000, 8000}));
    EXPECT_EQ(host.keys_waiting(), 0U);

    host.clear_trace();
    host.schedule_after(3s, KeyEvent{hostsim::key_abort});
    EXPECT_EQ(call(record("999", "06")), 2);
    EXPECT_EQ(waits(), (std::vector<int64_t>{999000}));

    // A stop is tested before the key is read: the abort key stays waiting.
    host.clear_trace();
    host.schedule_after(3s, StopEvent{});
    host.schedule_after(3s, KeyEvent{hostsim::key_abort});
    EXPECT_EQ(call(record("-1", "06")), 2);
    EXPECT_EQ(waits(), (std::vector<int64_t>{65535000}));
    EXPECT_EQ(host.keys_waiting(), 1U);
}

TEST_F(WaitUvTest, TimeoutEndsWithZeroOnlyAfterTheWholeTime) {
    for (const char* timeout : {"7", "0"}) {
        host.clear_trace();
        const int64_t start = host.now_ms();
        EXPECT_EQ(call(record(timeout)), 0);
        const auto all = waits();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.front(), 1000 * std::stoll(timeout));
        EXPECT_GT(host.now_ms() - start, 1000 * std::stoll(timeout));
        EXPECT_EQ(host.count_of(Service::IdleManager), all.size()) << "one idle call per wait";
        EXPECT_EQ(host.stall_count(), 0);
    }
}

// Hosts that differ in what a wait of 0 ms does when no event comes.
enum class ZeroWait { until_tick, one_ms, at_once };

hostsim::HostOptions zero_wait_host(ZeroWait kind) {
    hostsim::HostOptions options;
    options.zero_wait_ms = kind == ZeroWait::one_ms ? 1 : 0;
    options.zero_wait_returns_at_once = kind == ZeroWait::at_once;
    // A loop of zero waits on the virtual clock never lets time move: the stall guard's key
    // then ends the call with 2 instead of letting it run forever.
    options.stall_key = hostsim::key_abort;
    return options;
}

struct LastSecondTest : WaitUvTest, ::testing::WithParamInterface<ZeroWait> {
    LastSecondTest() : WaitUvTest(zero_wait_host(GetParam())) {}
};

TEST_P(LastSecondTest, WaitsOfTwentyMsUntilTheCountPassesTheTimeout) {
    const struct {
        const char* timeout;
        int start_ms; // into the second
    } cases[] = {{"0", 0}, {"0", 990}, {"2", 0}, {"2", 990}, {"2", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("timeout ") + c.timeout + ", start ms " +
                     std::to_string(c.start_ms));
        host.set_clock({2026, 3, 14, 10, 0, 0, c.start_ms});
        host.clear_trace();
        const int64_t start = host.now_ms();
        const int64_t timeout_ms = 1000 * std::stoll(c.timeout);
        EXPECT_EQ(call(record(c.timeout)), 0);
        const auto all = waits();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.front(), timeout_ms) << "the first wait is the whole timeout";
        for (size_t i = 1; i < all.size(); ++i) {
            ASSERT_EQ(all[i], 20) << "wait " << i;
        }
        // The count passes the timeout at the tick T + 1 s after the start's second.
        const int64_t passed = start - c.start_ms + timeout_ms + 1000;
        EXPECT_GE(host.now_ms(), passed);
        EXPECT_LT(host.now_ms(), passed + 20);
        EXPECT_EQ(host.stall_count(), 0);
    }
}

std::string zero_wait_name(const ::testing::TestParamInfo<ZeroWait>& param) {
    switch (param.param) {
    case ZeroWait::until_tick: return "ZeroWaitUntilTick";
    case ZeroWait::one_ms: return "ZeroWaitOneMs";
    case ZeroWait::at_once: return "ZeroWaitAtOnce";
    }
    return "?";
}

INSTANTIATE_TEST_SUITE_P(Hosts, LastSecondTest,
                         ::testing::Values(ZeroWait::until_tick, ZeroWait::one_ms,
                                           ZeroWait::at_once),
                         zero_wait_name);

TEST_F(WaitUvTest, EventsEndTheLastSecondsWaitsAtOnce) {
    const struct {
        HostEventMaker event;
        int64_t at_ms;
        int result;
    } cases[] = {
        {[] {
             return hostsim::HostEvent{VariableEvent{5, "late"}};
         },
         2500, 1},
        {[] { return hostsim::HostEvent{KeyEvent{hostsim::key_abort}}; }, 2310, 2},
        {[] { return hostsim::HostEvent{StopEvent{}}; }, 2999, 2},
    };
    for (const auto& c : cases) {
        host.set_clock({2026, 3, 14, 10, 0, 0, 0});
        host.set_variable(5, "");
        consume_pending_events();
        const int64_t start = host.now_ms();
        host.schedule(start + c.at_ms, c.event());
        EXPECT_EQ(call(record("2")), c.result) << c.at_ms;
        EXPECT_EQ(host.now_ms() - start, c.at_ms) << "the answer comes with the event";
        const auto all = waits();
        ASSERT_EQ(all.size(), static_cast<size_t>(1 + (c.at_ms - 2000 + 19) / 20)) << c.at_ms;
        EXPECT_EQ(all.back(), 20);
    }
}

TEST_F(WaitUvTest, TextAlreadyThereCountsOnlyAfterTheFirstWait) {
    host.set_variable(5, "early");
    consume_pending_events();
    const int64_t start = host.now_ms();
    EXPECT_EQ(call(record("4")), 1);
    EXPECT_EQ(host.now_ms() - start, 4000);
    EXPECT_EQ(waits(), (std::vector<int64_t>{4000}));
}

TEST_F(WaitUvTest, FailedReadsMeanNoTextYet) {
    for (const int failure : {1, 3}) {
        host.set_variable(5, "x");
        consume_pending_events();
        host.force_result(Service::ReadUserVariable, 0, true);       // the check passes
        host.force_result(Service::ReadUserVariable, failure, true); // text written, but failed
        EXPECT_EQ(call(record("5")), 1) << failure;
        EXPECT_EQ(host.count_of(Service::ReadUserVariable), 3U) << failure;
    }
}

TEST_F(WaitUvTest, RecordFaults) {
    host.set_unreadable(6, true);
    const struct {
        std::string record;
        const char* code;
    } cases[] = {
        {make_record(21, "WAIT_UV", {{14, "05"}, {21, "10"}}), "W2"},
        {record("10", "06"), "W3"},
        {record("10", "00"), "W3"}, // the host's other failure result
    };
    for (const auto& c : cases) {
        host.press_key('k');
        EXPECT_EQ(call(c.record), 0);
        EXPECT_EQ(notice_code(), c.code);
    }
    EXPECT_EQ(host.count_of(Service::IdleManager), 0U);
}

TEST_F(WaitUvTest, WaitsSpanningMidnightsMeasureTheRealTime) {
    const DateTime evenings[] = {
        {2026, 3, 14, 23, 59, 59}, {2024, 2, 28, 23, 59, 59},  {2024, 2, 29, 23, 59, 59},
        {2025, 2, 28, 23, 59, 59}, {2024, 12, 31, 23, 59, 59}, {2023, 12, 31, 23, 59, 59},
        {2000, 2, 29, 23, 59, 59}, {2000, 12, 31, 23, 59, 59}, {2099, 12, 30, 23, 59, 59},
    };
    for (const DateTime& evening : evenings) {
        host.set_clock(evening);
        host.clear_trace();
        host.schedule_after(2s, KeyEvent{'a'}); // wakes the wait after midnight
        host.schedule_after(6s, VariableEvent{5, "t"});
        EXPECT_EQ(call(record("10")), 1) << hostsim::format_date_time(evening);
        EXPECT_EQ(waits(), (std::vector<int64_t>{10000, 8000}));
        host.set_variable(5, "");
        consume_pending_events();
    }
}

// A clock reading torn by midnight: the clock moves on by 600 ms right after the first
// reading of the time or of the date, at the start of the wait or at the first check
// after midnight. The count must come from one day, so the timeout runs its whole time.
TEST_F(WaitUvTest, ReadingsTornByMidnightKeepTheWholeTimeout) {
    const struct {
        Service moved_after;
        bool at_start;
        DateTime ends;
    } cases[] = {
        // The start's count is 00:00:00 of the new day: more than 2 s have passed at 00:00:03.
        {Service::RtcGetAsciiTime, true, {2026, 3, 15, 0, 0, 3}},
        {Service::RtcGetAsciiDate, true, {2026, 3, 15, 0, 0, 3}},
        // Started at 23:59:58; the check at 23:59:59.900 reads 00:00:00 of the new day.
        {Service::RtcGetAsciiTime, false, {2026, 3, 15, 0, 0, 2}},
        {Service::RtcGetAsciiDate, false, {2026, 3, 15, 0, 0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(hostsim::service_name(c.moved_after)) +
                     (c.at_start ? " at the start" : " in the loop"));
        host.clear_trace();
        std::string timeout = "2";
        if (c.at_start) {
            host.set_clock({2026, 3, 14, 23, 59, 59, 500});
            host.move_clock_after_reading(c.moved_after, 600ms, host.now_ms());
        } else {
            timeout = "3";
            host.set_clock({2026, 3, 14, 23, 59, 58, 0});
            host.schedule_after(1900ms, KeyEvent{'a'}); // wakes the wait at 23:59:59.900
            host.move_clock_after_reading(c.moved_after, 600ms, host.now_ms() + 1900);
        }
        EXPECT_EQ(call(record(timeout)), 0);
        EXPECT_EQ(hostsim::format_date_time(host.now()), hostsim::format_date_time(c.ends));
        EXPECT_EQ(host.now().millisecond, 0);
        EXPECT_EQ(waits().front(), 1000 * std::stoll(timeout));
    }
}

struct ClockSecondsTest : ::testing::Test {
    ClockSecondsTest() {
        host.make_current();
        host.set_trace_enabled(false);
    }
    uint32_t at(const DateTime& t) {
        host.set_clock(t);
        return units().clock_seconds();
    }
    uint32_t with_texts(const std::string& time, const std::string& date) {
        host.set_clock_text(Service::RtcGetAsciiTime, 2, time);
        host.set_clock_text(Service::RtcGetAsciiDate, 3, date);
        return units().clock_seconds();
    }
    hostsim::Host host;
};

TEST_F(ClockSecondsTest, RisesByOneAcrossEveryMidnightOfTheCentury) {
    int64_t day_ms = hostsim::to_epoch_ms({2000, 1, 1, 0, 0, 0});
    const int64_t last = hostsim::to_epoch_ms({2099, 12, 31, 0, 0, 0});
    int failures = 0;
    for (; day_ms < last && failures < 5; day_ms += 86400000) {
        DateTime evening = hostsim::from_epoch_ms(day_ms);
        evening.hour = 23;
        evening.minute = 59;
        evening.second = 59;
        const uint32_t before = at(evening);
        const uint32_t after = at(hostsim::from_epoch_ms(day_ms + 86400000));
        if (after - before != 1U) {
            ADD_FAILURE() << hostsim::format_date_time(evening) << ": " << (after - before);
            ++failures;
        }
    }
    EXPECT_EQ(at({2024, 6, 1, 23, 59, 59}) - at({2024, 6, 1, 0, 0, 0}), 86399U);
}

TEST_F(ClockSecondsTest, EachReadingIsTimeDateTimeAndTheDateAgainAfterMidnight) {
    using Order = std::vector<std::string>;
    const Order untorn{"_RtcGetAsciiTime", "_RtcGetAsciiDate", "_RtcGetAsciiTime"};
    Order torn = untorn;
    torn.push_back("_RtcGetAsciiDate");
    const struct {
        DateTime read_at;
        std::optional<Service> moved_after; // the clock moves on by 600 ms after this read
        DateTime counted;
        Order order;
    } cases[] = {
        {{2026, 3, 14, 23, 59, 59, 500}, std::nullopt, {2026, 3, 14, 23, 59, 59}, untorn},
        {{2026, 3, 14, 23, 59, 59, 500}, Service::RtcGetAsciiTime, {2026, 3, 15, 0, 0, 0}, torn},
        {{2026, 3, 14, 23, 59, 59, 500}, Service::RtcGetAsciiDate, {2026, 3, 15, 0, 0, 0}, torn},
        {{2024, 12, 31, 23, 59, 59, 500}, Service::RtcGetAsciiTime, {2025, 1, 1, 0, 0, 0}, torn},
        {{2024, 2, 29, 23, 59, 59, 500}, Service::RtcGetAsciiDate, {2024, 3, 1, 0, 0, 0}, torn},
        // A move within the day: the second time is later, the first one counts.
        {{2026, 3, 14, 12, 0, 0, 500}, Service::RtcGetAsciiTime, {2026, 3, 14, 12, 0, 0}, untorn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hostsim::format_date_time(c.read_at) +
                     (c.moved_after ? std::string(" ") + hostsim::service_name(*c.moved_after)
                                    : std::string()));
        const uint32_t expected = at(c.counted);
        host.set_clock(c.read_at);
        if (c.moved_after) {
            host.move_clock_after_reading(*c.moved_after, 600ms);
        }
        host.set_trace_enabled(true);
        host.clear_trace();
        EXPECT_EQ(units().clock_seconds(), expected);
        Order order;
        for (const auto& entry : host.trace()) {
            order.push_back(hostsim::service_name(entry.service));
            EXPECT_EQ(entry.args.at(0), entry.service == Service::RtcGetAsciiTime ? 2 : 3);
        }
        EXPECT_EQ(order, c.order);
        host.set_trace_enabled(false);
    }
}

TEST_F(ClockSecondsTest, OddClockTextsGiveADefinedCount) {
    EXPECT_EQ(with_texts("5", "1"), with_texts("000005", "000101")) << "missing digits read as 0";
    EXPECT_EQ(with_texts("", ""), with_texts("000000", "000100"));
    EXPECT_EQ(with_texts("12\0009999"s, "260312"), with_texts("000012", "260312"))
        << "bytes behind the text's end are not read";
    EXPECT_EQ(with_texts("1200005", "2603125"), with_texts("120000", "260312"));
    EXPECT_EQ(with_texts("120000", "261331"), with_texts("120000", "261231"));
    EXPECT_EQ(with_texts("120000", "260001"), with_texts("120000", "260101"));
}

TEST_F(ClockSecondsTest, SixCharacterTextsWithOtherCharactersAreReadAPairAtATime) {
    // Each pair as atoi reads it: a blank before a digit, a letter after one, a sign.
    EXPECT_EQ(with_texts("12 345", "260312"), with_texts("120345", "260312"));
    EXPECT_EQ(with_texts("1a0000", "260312"), with_texts("010000", "260312"));
    EXPECT_EQ(with_texts("-10000", "260312"), with_texts("000000", "260312") - 3600U);
    EXPECT_EQ(with_texts("120000", "26 3+2"), with_texts("120000", "260302"));
    EXPECT_EQ(with_texts("120000", "2603-1"), with_texts("120000", "260301") - 2U * 86400U);
    EXPECT_EQ(with_texts("12:000", "260312"), with_texts("120000", "260312"))
        << "':0' reads as 0 minutes";
}

} // namespace
} // namespace opkit_test
