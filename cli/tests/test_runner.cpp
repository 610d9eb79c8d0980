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

    // Runs script text with a runner of its own (on the same host); returns its totals.
    ScriptTotals run(const std::string& text) {
        out.str({});
        Runner fresh(session, out, options);
        return fresh.run(parse_script(text, "t.txt"));
    }

    hostsim::Host& host() { return session.host(); }

    Session session;
    std::ostringstream out;
    Runner runner;
    RunOptions options;
};

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

TEST_F(RunnerTest, ExpectNoticeLooksAtTheLastCallOnly) {
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice none\n").failures, 1);
    // The old notice still stands on row 0, but the last call raised none.
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice M1\ncall TRANMSG switch=on\n"
                  "expect notice none\n")
                  .failures,
              0)
        << out.str();
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice any\ncall TRANMSG switch=on\n"
                  "expect notice M1\n")
                  .failures,
              1)
        << out.str();
    EXPECT_NE(out.str().find("expected notice M1 from the last call, found no notice"),
              std::string::npos)
        << out.str();
}

TEST_F(RunnerTest, EveryExpectationAboutTheLastCallNeedsACall) {
    for (const char* e : {"expect notice none", "expect notice any", "expect notice C4",
                          "expect notice append", "expect result 0"}) {
        EXPECT_EQ(run(std::string(e) + "\ncall TRANMSG switch=on\n").failures, 1) << e;
        EXPECT_NE(out.str().find("no call has been made yet"), std::string::npos) << out.str();
    }
}

// A notice is the plug-in's error path: unless an expect notice follows the call that showed
// it, before the next call or the script's end, the script fails, naming the call's line, the
// code and the record.
TEST_F(RunnerTest, ANoticeThatNothingExpectsFails) {
    ScriptTotals t = run("call TRANMSG switch=on\ncall \"21DICOUNT I         33 \"\n"
                         "expect result 0\n");
    EXPECT_EQ(t.failures, 1) << out.str();
    EXPECT_NE(out.str().find("t.txt:2: FAIL unexpected notice D2 from call \"21DICOUNT I         "
                             "33 \""),
              std::string::npos)
        << out.str();
    // Caught before the next call, or at the end.
    EXPECT_EQ(run("call \"05HELLO\"\ncall TRANMSG switch=on\nexpect notice none\n").failures, 1);
    // Taken by any expect notice, a wrong one failing on its own.
    EXPECT_EQ(run("call \"05HELLO\"\nexpect result 0\nexpect notice M1\n").failures, 0);
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice any\n").failures, 0);
    EXPECT_EQ(run("call \"05HELLO\"\nexpect notice C4\n").failures, 1);
    // Allowed for exploring.
    options.allow_notices = true;
    EXPECT_EQ(run("call \"05HELLO\"\ncall \"05HELLO\"\n").failures, 0);
}

// Keys scheduled for the self-test reach its key reads at their times, as they reach every call
// that waits for a key: a recorded self-test replays with its clock and screen.
TEST_F(RunnerTest, ScheduledKeysReachTheSelfTest) {
    const ScriptTotals t = run("clock 2026-12-10 13:21:00\nat +2s key 120\nat +3s key 13\n"
                               "message 5\nexpect clock 2026-12-10 13:21:03\n"
                               "expect screen 0 \"Key code = 0xD\"\n");
    EXPECT_EQ(t.failures, 0) << out.str();
    EXPECT_EQ(host().events_scheduled(), 0U);
    EXPECT_EQ(out.str().find("Enter queued"), std::string::npos) << out.str();
    // A notice's key wait takes a scheduled key the same way.
    const ScriptTotals n = run("clock 2026-12-10 13:21:00\nat +1500ms key 27\ncall \"05HELLO\"\n"
                               "expect notice M1\nexpect clock 2026-12-10 13:21:01\n");
    EXPECT_EQ(n.failures, 0) << out.str();
    EXPECT_NE(out.str().find("notice M1; took 1.500 s"), std::string::npos) << out.str();
    EXPECT_EQ(host().events_scheduled(), 0U);
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

TEST_F(RunnerTest, ANoticeNoRecordCanForeseeGetsItsKeyAtOnce) {
    // A refused write shows the append notice: its prompt's key wait is answered like any other.
    host().force_result(hostsim::Service::WriteUserVariable, 5);
    const ScriptTotals t =
        run("call DICOUNT operation=S counter=5 variable=3\nexpect notice append\n");
    EXPECT_EQ(t.failures, 0) << out.str();
    EXPECT_EQ(host().stall_count(), 0);
    EXPECT_NE(out.str().find("notice \"CFR append too long\", Enter pressed for its key wait"),
              std::string::npos)
        << out.str();
}

TEST_F(RunnerTest, ACallWithoutNoticeGetsNoKeyAndLeavesNone) {
    // The host says the variable cannot be read, then answers the read with success after all:
    // no notice comes, and no key is pressed or left behind.
    session.set_unreadable(3, true);
    host().force_result(hostsim::Service::ReadUserVariable, 0, true);
    const CallReport r = runner.call(
        compose_record("COMPARE",
                       {{"left", "3"}, {"relation", "EQ"}, {"right", "4"}, {"mode", "N"}})
            .record);
    EXPECT_EQ(r.notice, "");
    EXPECT_FALSE(r.auto_key);
    EXPECT_EQ(host().keys_waiting(), 0U);
    EXPECT_EQ(host().count_of(hostsim::Service::KbdReadAscii), 0U);
    // A delay polls the keyboard with nothing on the screen: its polls get no key either.
    runner.call("09V_DELAY 3");
    EXPECT_EQ(host().count_of(hostsim::Service::HostNote), 0U);
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

TEST_F(RunnerTest, AdvanceNeverTakesTheClockPastItsLastYear) {
    run("clock 2099-12-31 23:59:00\nadvance 59s\n");
    EXPECT_EQ(runner.clock_text(), "2099-12-31 23:59:59");
    EXPECT_THROW(run("advance 1s\n"), std::runtime_error);
    EXPECT_EQ(runner.clock_text(), "2099-12-31 23:59:59") << "a refused step leaves the clock";
    run("clock 2000-01-01 00:00:00\n");
    EXPECT_THROW(run("advance 36525d\n"), std::runtime_error);
}

} // namespace
} // namespace opkit_cli
