// The runner against the built plug-in: the notices it foresees are the ones the functions
// raise, notices and the self-test get their key, and expectations report what they found.
#include <gtest/gtest.h>

#include <sstream>

#include "compose.h"
#include "runner.h"

namespace opkit_cli {
namespace {

class RunnerTest : public ::testing::Test {
  protected:
    RunnerTest() : session(make_options()), runner(session, out, RunOptions{}) {}

    static SessionOptions make_options() {
        SessionOptions o;
        o.plugin_path = OPKIT_PLUGIN_PATH;
        return o;
    }

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(session.open(error)) << error;
    }

    // Runs script text; returns its totals.
    ScriptTotals run(const std::string& text) { return runner.run(parse_script(text, "t.txt")); }

    hostsim::Host& host() { return session.host(); }

    Session session;
    std::ostringstream out;
    Runner runner;
};

// Records that stray from a correct one in every way a hand-written record can: each length
// from 0 to 60, every field's columns overwritten with typical mistakes, and every truncation.
std::vector<std::string> stray_records(const std::string& good, const opkit::Layout& layout) {
    std::vector<std::string> out{good};
    for (int length = 0; length <= 60; ++length) {
        std::string r = good;
        r[0] = static_cast<char>('0' + length / 10);
        r[1] = static_cast<char>('0' + length % 10);
        out.push_back(r);
    }
    static const std::vector<std::string> one{"X", "n", "N", " ", "1", "2", "0",
                                              "*", "/", "a", "s", "g", "T"};
    static const std::vector<std::string> two{"00", "-1", " 7", "7x", "XX", "19", "20", "33", "99",
                                              "  ", "GE", "lt", "EX", "GQ", "16", "17", "12", "24"};
    static const std::vector<std::string> wide{"AMER", "euro", "Euro", "EUR ", "    ",
                                               "-1 ",  "005",  "999",  "x"};
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field& f = layout.fields[i];
        const auto& variants = f.width == 1 ? one : f.width == 2 ? two : wide;
        for (const std::string& v : variants) {
            if (std::string_view(layout.name) == "V_DELAY" && v.size() > 3) {
                continue; // long delays add nothing but time
            }
            std::string r = good;
            if (r.size() < f.first + v.size()) {
                r.resize(f.first + v.size(), ' ');
            }
            r.replace(f.first, v.size(), v);
            out.push_back(r);
        }
    }
    for (size_t cut = 0; cut < good.size(); ++cut) {
        out.push_back(good.substr(0, cut));
    }
    return out;
}

TEST_F(RunnerTest, ForeseenNoticesAreTheOnesThePluginRaises) {
    // A host with texts, numbers, an empty and an unreadable variable.
    const std::vector<std::pair<int, std::string>> texts{
        {1, "7"},  {2, "-3"},     {3, "12"}, {4, "abc"}, {5, "0"}, {6, ""},
        {7, "12"}, {8, "PALLET"}, {10, "5"}, {19, "4"},  {20, "x"}};
    for (const auto& [n, t] : texts) {
        host().set_variable(n, t);
    }
    session.set_unreadable(9, true);
    session.set_unreadable(33, true);

    const std::vector<std::pair<const char*, std::vector<FieldAssignment>>> goods{
        {"DICOUNT", {{"operation", "S"}, {"counter", "5"}, {"variable", "3"}}},
        {"POPUPWN", {{"action", "C"}, {"rows", "4"}, {"frame", "N"}}},
        {"COMPARE", {{"left", "3"}, {"relation", "GE"}, {"right", "7"}, {"mode", "S"}}},
        {"CMP_INT", {{"left", "3"}, {"relation", "LT"}, {"right", "10"}, {"mode", "A"}}},
        {"INTMATH", {{"left", "3"}, {"operator", "/"}, {"right", "10"}}},
        {"CHKUNIQ", {{"action", "V"}, {"variable", "8"}, {"list", "1"}}},
        {"TM_DATE",
         {{"hours", "12"}, {"time_variable", "11"}, {"style", "AMER"}, {"date_variable", "12"}}},
        {"TRANMSG", {{"switch", "N"}}},
        {"V_DELAY", {{"count", "3"}}},
        {"WAIT_UV", {{"variable", "19"}, {"timeout", "2"}}},
    };
    size_t calls = 0;
    for (const auto& [function, fields] : goods) {
        const std::string good = compose_record(function, fields).record;
        for (const std::string& record : stray_records(good, *find_layout(function))) {
            const CallReport report = runner.call(record);
            ++calls;
            EXPECT_EQ(report.warning, "") << quote_record(record);
            EXPECT_EQ(report.stalls, 0)
                << "a key wait that was not foreseen: " << quote_record(record);
            ASSERT_EQ(host().keys_waiting(), 0U) << "a key left behind: " << quote_record(record);
        }
    }
    EXPECT_GT(calls, 1000U);
}

TEST_F(RunnerTest, ANoticeGetsItsKeyAndTheScriptsOwnKeyComesFirst) {
    CallReport r = runner.call("05HELLO");
    EXPECT_EQ(r.notice, "M1");
    EXPECT_TRUE(r.auto_key);
    EXPECT_EQ(r.stalls, 0);
    EXPECT_EQ(host().keys_waiting(), 0U);

    host().press_key('x');
    r = runner.call("05HELLO");
    EXPECT_EQ(r.notice, "M1");
    EXPECT_FALSE(r.auto_key) << "the queued key serves the notice";
    EXPECT_EQ(host().keys_waiting(), 0U);
}

TEST_F(RunnerTest, TheSelfTestEndsOnEnterQueuedAfterTheScriptsKeys) {
    const ScriptTotals t =
        run("key \"A\"\nmessage 5\nexpect screen 0 \"Key code = 0xD\"\nexpect keys 0\n"
            "expect cursor 5 10\nexpect screen 4 \"Cursor @5,10\"\n");
    EXPECT_EQ(t.failures, 0) << out.str();
    EXPECT_NE(out.str().find("Enter queued to end the self-test"), std::string::npos) << out.str();
    const auto reads = host().trace_of(hostsim::Service::KbdReadAscii);
    ASSERT_GE(reads.size(), 2U);
    EXPECT_EQ(reads[0].args, std::vector<int64_t>{'A'});
}

TEST_F(RunnerTest, AFailedExpectationNamesScriptLineExpectedAndFound) {
    const ScriptTotals t = run("call DICOUNT operation=I counter=5\n"
                               "call DICOUNT operation=S counter=5 variable=3\n"
                               "expect var 3 \"9\"\n"
                               "expect result 0\n"
                               "expect notice C2\n"
                               "expect screen 0:9 \"XY\"\n");
    EXPECT_EQ(t.calls, 2);
    EXPECT_EQ(t.expectations, 4);
    EXPECT_EQ(t.failures, 3);
    const std::string text = out.str();
    EXPECT_NE(text.find("t.txt:3: FAIL expect var 3 \"9\"\n      expected user variable 3 = \"9\", "
                        "found \"1\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("t.txt:5: FAIL expect notice C2"), std::string::npos) << text;
    EXPECT_NE(text.find("t.txt:6: FAIL"), std::string::npos) << text;
    EXPECT_EQ(text.find("t.txt:4:"), std::string::npos) << text;
}

TEST_F(RunnerTest, NoticeNoneLooksAtTheLastCallOnly) {
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice none\n").failures, 1);
    EXPECT_EQ(run("call TRANMSG switch=on\nexpect notice none\nexpect notice M1\n").failures, 0)
        << "the old notice still stands on row 0, but the last call raised none\n"
        << out.str();
}

TEST_F(RunnerTest, ReloadStartsThePluginsStateFromZero) {
    const ScriptTotals t =
        run("call DICOUNT operation=I counter=1\ncall DICOUNT operation=I counter=1\n"
            "reload\ncall DICOUNT operation=S counter=1 variable=2\nexpect var 2 \"0\"\n");
    EXPECT_EQ(t.failures, 0) << out.str();
}

TEST_F(RunnerTest, ScheduledEventsArriveAtTheirTimeOnTheVirtualClock) {
    const ScriptTotals t = run("clock 2026-05-12 08:00:00\n"
                               "at +4s set 12 \"4006381333931\"\n"
                               "call WAIT_UV variable=12 timeout=30\n"
                               "expect result 1\n"
                               "expect clock 2026-05-12 08:00:04\n"
                               "at 08:00:06 key abort\n"
                               "call WAIT_UV variable=13 timeout=30\n"
                               "expect result 2\n"
                               "expect clock 2026-05-12 08:00:06\n"
                               "at +1s stop\n"
                               "call V_DELAY count=999\n"
                               "expect clock 2026-05-12 08:00:07\n");
    EXPECT_EQ(t.failures, 0) << out.str();
}

TEST_F(RunnerTest, AKeyWaitNobodyForesawIsEndedByTheHostAndReported) {
    // A refused write shows the append notice, which no record analysis can foresee.
    host().force_result(hostsim::Service::WriteUserVariable, 5);
    const ScriptTotals t =
        run("call DICOUNT operation=S counter=5 variable=3\nexpect notice append\n");
    EXPECT_EQ(t.failures, 0) << out.str();
    EXPECT_EQ(t.warnings, 0);
    EXPECT_NE(out.str().find("the host pressed Enter after 10000 empty polls"), std::string::npos)
        << out.str();
}

TEST_F(RunnerTest, AKeyQueuedForANoticeThatDidNotComeIsTakenBack) {
    // The host says the variable cannot be read, then answers the read with success after all.
    session.set_unreadable(3, true);
    host().force_result(hostsim::Service::ReadUserVariable, 0, true);
    const CallReport r = runner.call(
        compose_record("COMPARE",
                       {{"left", "3"}, {"relation", "EQ"}, {"right", "4"}, {"mode", "N"}})
            .record);
    EXPECT_EQ(r.notice, "");
    EXPECT_NE(r.warning.find("foresaw notice C2"), std::string::npos) << r.warning;
    EXPECT_EQ(host().keys_waiting(), 0U);
    EXPECT_EQ(runner.totals().warnings, 1);
}

TEST_F(RunnerTest, ScreenAttributeAndTransactionExpectations) {
    const ScriptTotals t = run("write 2 0 \"Item:  4006381333931\"\n"
                               "call POPUPWN action=open rows=3 frame=reverse\n"
                               "expect screen 1:2 \"+----------------------+\"\n"
                               "expect attribute 1:2 1 24\n"
                               "expect attribute 1:1 0\n"
                               "call POPUPWN action=close\n"
                               "expect screen 2 \"Item:  4006381333931\"\n"
                               "call TRANMSG switch=off\n"
                               "expect transaction off\n");
    EXPECT_EQ(t.failures, 0) << out.str();
}

} // namespace
} // namespace opkit_cli
