// Message 5, the screen self-test, through the built plug-in: its labels and cursor steps,
// the clock rows of every pass, the key-code line and its end on key code 13.
#include "support.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace opkit_test {
namespace {

using SelfTest = PluginTest;

std::vector<std::string> texts_written_at(const hostsim::Host& host, int row) {
    std::vector<std::string> out;
    for (const auto& entry : host.trace_of(Service::VioWrtCharStr)) {
        if (entry.args.at(1) == row) {
            out.push_back(entry.text);
        }
    }
    return out;
}

TEST_F(SelfTest, RunsTheScreenAndEndsOnKeyThirteen) {
    host.press_key(13);
    EXPECT_EQ(message(5), 0);

    const std::vector<std::string> expected{
        "_VioWrtCharStr(\"Cursor @5,5\", 11, 4, 0, 0) = 0",
        "_VioSetCurType(4) = 0",
        "_VioSetCurPos(5, 5) = 0",
        "_IdleManager(200) = 0",
        "_VioWrtCharStr(\"Cursor @5,5 after text written\", 30, 4, 0, 0) = 0",
        "_VioWrtCharStr(\"ABCDEFGHIJ\", 10, 5, 0, 0) = 0",
        "_IdleManager(200) = 0",
        "_VioWrtCharStr(\"Cursor @5,10                  \", 30, 4, 0, 0) = 0",
        "_VioSetCurPos(5, 10) = 0",
        "_IdleManager(200) = 0",
        "_RtcGetAsciiTime(\"120000\", 2) = 0",
        "_RtcGetAsciiDate(\"260101\", 3) = 0",
        "_VioWrtCharStr(\"120000\", 6, 1, 0, 0) = 0",
        "_VioWrtCharStr(\"260101\", 6, 2, 0, 0) = 0",
        "_KbdReadAscii(13) = 0",
        "_VioWrtCharStr(\"Key code = 0xD  \", 16, 0, 0, 0) = 0",
        "_IdleManager(0) = 0",
    };
    EXPECT_EQ(trace_text(), expected);

    EXPECT_EQ(row(0), "Key code = 0xD" + std::string(26, ' '));
    EXPECT_EQ(row(1).substr(0, 7), "120000 ");
    EXPECT_EQ(row(2).substr(0, 7), "260101 ");
    EXPECT_EQ(row(4), "Cursor @5,10" + std::string(28, ' '));
    EXPECT_EQ(row(5), "ABCDEFGHIJ" + std::string(30, ' '));
    EXPECT_EQ(host.cursor_row(), 5);
    EXPECT_EQ(host.cursor_column(), 10);
    EXPECT_EQ(host.cursor_type(), 4);
    EXPECT_EQ(host.stall_count(), 0);
}

TEST_F(SelfTest, ShowsEveryKeyInUpperCaseHexUntilThirteenWhateverTheIdleWorkAnswers) {
    for (int i = 0; i < 4; ++i) {
        host.force_result(Service::IdleManager, 1, true);
    }
    for (const int key : {27, int{'a'}, 256, 0xFFFF, 13, int{'z'}}) {
        host.press_key(static_cast<uint16_t>(key));
    }
    EXPECT_EQ(message(5), 0);
    const std::vector<std::string> lines{"Key code = 0x1B  ", "Key code = 0x61  ",
                                         "Key code = 0x100  ", "Key code = 0xFFFF  ",
                                         "Key code = 0xD  "};
    EXPECT_EQ(texts_written_at(host, 0), lines);
    EXPECT_EQ(host.count_of(Service::RtcGetAsciiTime), 5U) << "the clock rows refresh each pass";
    EXPECT_EQ(host.count_of(Service::RtcGetAsciiDate), 5U);
    EXPECT_EQ(calls_of(Service::IdleManager).back(), "_IdleManager(0) = 0");
    EXPECT_EQ(host.count_of(Service::IdleManager), 3U + 5U);
    EXPECT_EQ(host.keys_waiting(), 1U) << "the key after 13 is left for the host";
    EXPECT_EQ(host.stall_count(), 0);
}

TEST_F(SelfTest, OnlyTheKeyCodeEndsTheTestAndOnlyAReadOfZeroShowsIt) {
    struct Scenario {
        const char* name;
        std::vector<std::pair<int, bool>> forced; // results of the first reads; perform?
        std::vector<std::string> lines;
        size_t reads;
    };
    const Scenario scenarios[] = {
        {"no key waiting twice", {{5, false}, {5, false}}, {"Key code = 0xD  "}, 3},
        {"non-zero read that stores 13 ends the test", {{7, true}}, {}, 1},
        {"read of 0 that stores nothing shows 4095",
         {{0, false}},
         {"Key code = 0xFFF  ", "Key code = 0xD  "},
         2},
        {"result compared as 16 bits",
         {{0x10000, false}, {0x10005, false}},
         {"Key code = 0xFFF  ", "Key code = 0xD  "},
         3},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        hostsim::Host fresh;
        fresh.make_current();
        fresh.write_screen(0, 0, "previous");
        fresh.press_key(13);
        for (const auto& [result, perform] : s.forced) {
            fresh.force_result(Service::KbdReadAscii, result, perform);
        }
        EXPECT_EQ(message(5), 0);
        EXPECT_EQ(texts_written_at(fresh, 0), s.lines);
        if (s.lines.empty()) {
            EXPECT_EQ(fresh.screen_row(0).substr(0, 9), "previous ");
        }
        EXPECT_EQ(fresh.count_of(Service::KbdReadAscii), s.reads);
        EXPECT_EQ(fresh.count_of(Service::RtcGetAsciiTime), s.reads);
        EXPECT_EQ(fresh.stall_count(), 0);
    }
    host.make_current();
}

TEST_F(SelfTest, ShowsSixClockCharactersAndBlanksWhereTheHostWroteLess) {
    struct Clock {
        const char* name;
        std::optional<std::string> time; // empty optional: the service writes nothing
        std::optional<std::string> date;
        const char* time_shown;
        const char* date_shown;
    };
    const Clock clocks[] = {
        {"longer texts", "1234567", "9876543", "123456", "987654"},
        {"shorter texts", "12", "", "12    ", "      "},
        {"nothing written", std::nullopt, std::nullopt, "      ", "      "},
    };
    for (const Clock& c : clocks) {
        SCOPED_TRACE(c.name);
        hostsim::Host fresh;
        fresh.make_current();
        fresh.write_screen(1, 0, "########");
        fresh.write_screen(2, 0, "########");
        fresh.press_key(13);
        if (c.time) {
            fresh.set_clock_text(Service::RtcGetAsciiTime, 2, *c.time);
        } else {
            fresh.force_result(Service::RtcGetAsciiTime, 0, false);
        }
        if (c.date) {
            fresh.set_clock_text(Service::RtcGetAsciiDate, 3, *c.date);
        } else {
            fresh.force_result(Service::RtcGetAsciiDate, 0, false);
        }
        EXPECT_EQ(message(5), 0);
        EXPECT_EQ(texts_written_at(fresh, 1), std::vector<std::string>{c.time_shown});
        EXPECT_EQ(texts_written_at(fresh, 2), std::vector<std::string>{c.date_shown});
        EXPECT_EQ(fresh.screen_row(1).substr(0, 8), std::string(c.time_shown) + "##");
        EXPECT_EQ(fresh.screen_row(2).substr(0, 8), std::string(c.date_shown) + "##");
    }
    host.make_current();
}

} // namespace
} // namespace opkit_test
