// The shell's session recorder: what a recorded session becomes as a script.
#include <gtest/gtest.h>

#include "recorder.h"
#include "script.h"

namespace opkit_cli {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(RecorderTest, EventsDuringACallGoBeforeItInOrderAndItsResultAfter) {
    Recorder r;
    r.line("  set 3 \"12\"  ");
    r.call("2026-12-09 10:00:00", "call \"11V_DELAY 999\"");
    r.during_call(1200, "key 256");
    r.during_call(1500, "set 7 \"x\"");
    r.result(0);
    r.result(5); // no call runs: nothing to record
    r.during_call(10, "key 13");
    const std::vector<std::string> lines = lines_of(r.script({}, {}));
    const std::vector<std::string> expected = {
        "set 3 \"12\"",           "clock 2026-12-09 10:00:00", "at +1200ms key 256",
        "at +1500ms set 7 \"x\"", "call \"11V_DELAY 999\"",    "expect result 0",
        "at +10ms key 13"};
    ASSERT_GE(lines.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + expected.size()),
              expected);
}

TEST(RecorderTest, TheEndStateIsExpectedAndTheScriptParses) {
    Recorder r;
    r.call("2026-12-09 10:00:00", "call \"10TRANMSG N \"");
    r.result(0);
    const std::map<int, std::string> variables = {
        {0, "outside"}, {3, ""}, {7, "say \"hi\"\\\t"}, {99, "last"}, {100, "outside"}};
    const std::vector<std::string> rows = {"", "  +--+   ", "        ", "x"};
    const std::string script = r.script(variables, rows);
    EXPECT_NE(script.find("expect var 7 \"say \\\"hi\\\"\\\\\\x09\"\n"), std::string::npos)
        << script;
    EXPECT_NE(script.find("expect var 99 \"last\"\n"), std::string::npos);
    EXPECT_EQ(script.find("outside"), std::string::npos);
    EXPECT_EQ(script.find("expect var 3"), std::string::npos);
    EXPECT_NE(script.find("expect screen 1 \"  +--+\"\n"), std::string::npos);
    EXPECT_NE(script.find("expect screen 3 \"x\"\n"), std::string::npos);
    EXPECT_EQ(script.find("expect screen 0"), std::string::npos);
    EXPECT_EQ(script.find("expect screen 2"), std::string::npos);
    // What was recorded reads back as the same texts.
    const Script parsed = parse_script(script, "recorded");
    int expectations = 0;
    for (const Directive& d : parsed.directives) {
        if (const auto* e = std::get_if<Expect>(&d.action)) {
            ++expectations;
            if (const auto* v = std::get_if<ExpectVariable>(&e->what); v && v->variable == 7) {
                EXPECT_EQ(v->text, "say \"hi\"\\\t");
            }
        }
    }
    EXPECT_EQ(expectations, 5); // the result, two variables, two rows
}

TEST(RecorderTest, OnlyDirectivesThatActOnTheHostAreRecorded) {
    for (const char* line :
         {"set 3 x", "KEY esc", "clock 2026-01-01 00:00:00", "advance 5s", "at +1s stop", "stop",
          "write 1 1 \"x\"", "clear", "reload", "unreadable 4", "readable 4"}) {
        EXPECT_TRUE(Recorder::acts_on_host(line)) << line;
    }
    for (const char* line : {"show trace", "echo hi", "explain \"10TRANMSG N \"", "help",
                             "expect result 1", "call \"10TRANMSG N \"", ""}) {
        EXPECT_FALSE(Recorder::acts_on_host(line)) << line;
    }
}

} // namespace
} // namespace opkit_cli
