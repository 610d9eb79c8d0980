// The view's parts that need no terminal: the input line's history and the state line of a
// running call, read from the rows and the host's screen.
#include <gtest/gtest.h>

#include "call_status.h"
#include "compose.h"
#include "input_line.h"

namespace opkit_cli {
namespace {

using Edit = InputLine::Edit;

void type(InputLine& line, const std::string& text) {
    for (const char c : text) {
        line.type(c);
    }
}

std::string enter(InputLine& line) {
    const std::optional<std::string> entered = line.edit(Edit::enter);
    EXPECT_TRUE(entered.has_value());
    line.remember(entered.value_or(""));
    return entered.value_or("");
}

TEST(InputLineTest, TheArrowsWalkTheHistoryAndComeBackToAnEmptyLine) {
    InputLine line;
    type(line, "set 3 \"a\"");
    EXPECT_EQ(enter(line), "set 3 \"a\"");
    type(line, "key 13");
    enter(line);
    type(line, "key 13"); // a repeat is kept once
    enter(line);
    EXPECT_EQ(line.text(), "");
    line.edit(Edit::older);
    EXPECT_EQ(line.text(), "key 13");
    line.edit(Edit::older);
    EXPECT_EQ(line.text(), "set 3 \"a\"");
    line.edit(Edit::older); // the oldest stays
    EXPECT_EQ(line.text(), "set 3 \"a\"");
    line.edit(Edit::newer);
    EXPECT_EQ(line.text(), "key 13");
    line.edit(Edit::newer);
    EXPECT_EQ(line.text(), "");
    line.edit(Edit::newer); // past the newest: nothing happens
    EXPECT_EQ(line.text(), "");
}

TEST(InputLineTest, EditsTouchOnlyTheTypedTextAndControlBytesAreNotTyped) {
    InputLine line;
    line.edit(Edit::erase_last); // on an empty line
    type(line, "ab\x01\x7f\tc");
    EXPECT_EQ(line.text(), "abc");
    line.edit(Edit::erase_last);
    EXPECT_EQ(line.text(), "ab");
    line.edit(Edit::clear);
    EXPECT_EQ(line.text(), "");
    EXPECT_EQ(line.edit(Edit::enter), std::optional<std::string>(""));
}

TEST(InputLineTest, TheHistoryKeepsTheNewestLines) {
    InputLine line;
    for (size_t i = 0; i <= InputLine::kept; ++i) {
        type(line, std::to_string(i));
        enter(line);
    }
    for (size_t i = 0; i < InputLine::kept + 5; ++i) {
        line.edit(Edit::older);
    }
    EXPECT_EQ(line.text(), "1") << "line 0 went past the kept ones";
}

TEST(CallStatusTest, WaitsSayTheirTimeFromTheRecordAndTheOthersRun) {
    hostsim::Host host;
    CallStatus status;
    status.start(3, compose_record("v_delay", {{"count", "30"}}).record);
    // 30 counts: 80 passes of 20 ms.
    EXPECT_EQ(status.waiting_text(host, 0.5), "V_DELAY waiting, 1.1 s left (Ctrl-A aborts)");
    EXPECT_EQ(status.waiting_text(host, 9.0), "V_DELAY waiting, 0.0 s left (Ctrl-A aborts)");
    status.start(3, compose_record("WAIT_UV", {{"variable", "7"}, {"timeout", "-1"}}).record);
    EXPECT_EQ(status.waiting_text(host, 35.0), "WAIT_UV waiting for variable 7, 65500 s left");
    status.start(3, compose_record("TRANMSG", {{"switch", "Y"}}).record);
    EXPECT_EQ(status.waiting_text(host, 1.0), "running");
    status.start(5, {});
    EXPECT_EQ(status.waiting_text(host, 1.0), "self-test: press keys; Enter (13) ends it");
    status.start(3, "05HELLO"); // a record that leads to a notice waits for no timer
    EXPECT_EQ(status.waiting_text(host, 1.0), "running");
}

TEST(CallStatusTest, ANoticeOnRowZeroWaitsForAKeyWhateverRuns) {
    CallStatus status;
    status.start(3, compose_record("V_DELAY", {{"count", "30"}}).record);
    for (const char* row0 : {"Bad CCFR(M1):05HELLO", "CFR append too long:32DICOUNT S"}) {
        hostsim::Host host;
        host.write_screen(0, 0, row0);
        EXPECT_EQ(status.waiting_text(host, 0.0), "notice waiting for a key: press any key")
            << row0;
    }
    hostsim::Host host;
    host.write_screen(0, 0, "Bad CCF"); // a shorter text is the application's own
    EXPECT_NE(status.waiting_text(host, 0.0), "notice waiting for a key: press any key");
}

} // namespace
} // namespace opkit_cli
