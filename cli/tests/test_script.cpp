// The script language: tokens and quoting, each directive, and errors with line and column.
#include <gtest/gtest.h>

#include "script.h"

namespace opkit_cli {
namespace {

std::vector<std::string> texts(const std::vector<Token>& tokens) {
    std::vector<std::string> out;
    for (const Token& t : tokens) {
        out.push_back(t.text);
    }
    return out;
}

Directive parse(const std::string& line) {
    auto d = parse_line(line, 7);
    EXPECT_TRUE(d.has_value()) << line;
    return d.value_or(Directive{});
}

// The directive of a line, which must be of kind T.
template <typename T> T as(const std::string& line) {
    const Directive d = parse(line);
    const T* typed = std::get_if<T>(&d.action);
    EXPECT_NE(typed, nullptr) << line;
    return typed != nullptr ? *typed : T{};
}

template <typename T> T expectation(const std::string& line) {
    const Expect e = as<Expect>(line);
    const T* typed = std::get_if<T>(&e.what);
    EXPECT_NE(typed, nullptr) << line;
    return typed != nullptr ? *typed : T{};
}

// The error of a line that must not parse: its message and column.
std::pair<std::string, int> error_of(const std::string& line) {
    try {
        parse_line(line, 3);
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.line(), 3) << line;
        return {e.what(), e.column()};
    }
    ADD_FAILURE() << "parsed: " << line;
    return {"", 0};
}

TEST(Tokenize, QuotesKeepBlanksAndEscapesAreResolved) {
    const auto tokens =
        tokenize(R"(call "21DICOUNT I         05" 'a "b"' "x\"y\\z\x41\t" name="a b")");
    EXPECT_EQ(texts(tokens), (std::vector<std::string>{"call", "21DICOUNT I         05", "a \"b\"",
                                                       "x\"y\\zA\t", "name=a b"}));
    EXPECT_FALSE(tokens[0].quoted);
    EXPECT_TRUE(tokens[1].quoted);
    EXPECT_EQ(tokens[1].column, 6);
    EXPECT_EQ(tokens[2].column, 31);
}

TEST(Tokenize, CommentsEndTheLineOutsideQuotesOnly) {
    EXPECT_TRUE(tokenize("   # nothing here").empty());
    EXPECT_EQ(texts(tokenize(R"(set 3 "a # b"  # trailing)")),
              (std::vector<std::string>{"set", "3", "a # b"}));
    EXPECT_EQ(texts(tokenize(R"(set 3 "")")), (std::vector<std::string>{"set", "3", ""}));
}

TEST(Tokenize, BadQuotingIsAnErrorAtItsColumn) {
    const std::vector<std::pair<std::string, int>> cases{
        {R"(call "21DICOUNT)", 6},
        {R"(set 1 'abc)", 7},
        {R"(set 1 "a\qb")", 9},
        {R"(set 1 "\x4")", 8},
    };
    for (const auto& [line, column] : cases) {
        try {
            tokenize(line);
            ADD_FAILURE() << line;
        } catch (const ScriptError& e) {
            EXPECT_EQ(e.column(), column) << line;
        }
    }
}

TEST(Durations, UnitsAddUpAndMalformedTextsAreRefused) {
    EXPECT_EQ(parse_duration("250ms"), 250);
    EXPECT_EQ(parse_duration("5s"), 5000);
    EXPECT_EQ(parse_duration("1m30s"), 90000);
    EXPECT_EQ(parse_duration("2h"), 7200000);
    EXPECT_EQ(parse_duration("1d"), 86400000);
    for (const char* bad : {"", "5", "s", "5x", "-5s", "1.5s", "5s3"}) {
        EXPECT_FALSE(parse_duration(bad).has_value()) << bad;
    }
}

TEST(Directives, CallTakesTheRecordExactlyAsWritten) {
    const Directive d = parse(R"(call "10TRANMSG N ")");
    ASSERT_TRUE(std::holds_alternative<Call>(d.action));
    EXPECT_EQ(std::get<Call>(d.action).record, "10TRANMSG N ");
    EXPECT_EQ(d.line, 7);
    EXPECT_EQ(as<Call>("call 05HELLO").record, "05HELLO");
    EXPECT_EQ(as<Call>(R"(call "\x00")").record, std::string(1, '\0'));
}

TEST(Directives, CallWithFieldsComposesTheRecord) {
    const Call c = as<Call>("call CMP_INT left=3 relation=GE right=4 mode=S");
    EXPECT_EQ(c.record, "29CMP_INT   03  GE   04       S");
    EXPECT_EQ(c.composed_from, "CMP_INT");
}

TEST(Directives, HostDirectives) {
    const SetVariable set = as<SetVariable>(R"(set 12 "two words")");
    EXPECT_EQ(set.variable, 12);
    EXPECT_EQ(set.text, "two words");

    EXPECT_EQ(as<PressKeys>("key enter esc abort 0x41 65 x \"ab\"").keys,
              (std::vector<uint16_t>{13, 27, 256, 65, 65, 'x', 'a', 'b'}));

    const SetClock clock = as<SetClock>("clock 2026-02-28 23:59:59");
    EXPECT_EQ(clock.time, (hostsim::DateTime{2026, 2, 28, 23, 59, 59, 0}));
    EXPECT_EQ(as<SetClock>(R"(clock "2026-02-28 23:59:59")").time, clock.time);

    EXPECT_EQ(as<Advance>("advance 1m").ms, 60000);
    EXPECT_EQ(as<Message>("message -1").code, -1);
    EXPECT_FALSE(as<Readability>("unreadable 4").readable);
    EXPECT_TRUE(as<Readability>("readable 4").readable);
    as<Stop>("stop");

    const Write w = as<Write>(R"(write 3 4 "Duplicate" 1)");
    EXPECT_EQ(w.row, 3);
    EXPECT_EQ(w.column, 4);
    EXPECT_EQ(w.text, "Duplicate");
    EXPECT_EQ(w.attribute, 1);
    EXPECT_EQ(as<Write>(R"(write 3 4 "x")").attribute, 0);
}

TEST(Directives, AtSchedulesRelativeTimeOfDayOrAbsolute) {
    At at = as<At>(R"(at +1m30s set 7 "scanned")");
    EXPECT_EQ(at.base, At::Base::relative);
    EXPECT_EQ(at.offset_ms, 90000);
    ASSERT_TRUE(std::holds_alternative<SetVariable>(at.event));
    EXPECT_EQ(std::get<SetVariable>(at.event).variable, 7);
    EXPECT_EQ(std::get<SetVariable>(at.event).text, "scanned");

    at = as<At>("at 12:00:05 key abort");
    EXPECT_EQ(at.base, At::Base::time_of_day);
    EXPECT_EQ(at.time.hour, 12);
    EXPECT_EQ(at.time.second, 5);
    ASSERT_TRUE(std::holds_alternative<PressKeys>(at.event));
    EXPECT_EQ(std::get<PressKeys>(at.event).keys, std::vector<uint16_t>{256});

    at = as<At>("at 2027-01-01 00:00:00 stop");
    EXPECT_EQ(at.base, At::Base::absolute);
    EXPECT_EQ(at.time.year, 2027);
    EXPECT_TRUE(std::holds_alternative<Stop>(at.event));
}

TEST(Directives, Expectations) {
    EXPECT_EQ(expectation<ExpectResult>("expect result -2").value, -2);
    const ExpectVariable var = expectation<ExpectVariable>(R"(expect var 3 "a b")");
    EXPECT_EQ(var.variable, 3);
    EXPECT_EQ(var.text, "a b");
    EXPECT_EQ(expectation<ExpectVariable>(R"(expect variable 3 "")").text, "");
    struct Screen {
        const char* line;
        int row;
        int column;
        const char* text;
    };
    for (const Screen& c : {Screen{R"(expect screen 2 "+---+")", 2, -1, "+---+"},
                            Screen{R"(expect screen 0:9 "C4")", 0, 9, "C4"}}) {
        const ExpectScreen e = expectation<ExpectScreen>(c.line);
        EXPECT_EQ(e.row, c.row) << c.line;
        EXPECT_EQ(e.column, c.column) << c.line;
        EXPECT_EQ(e.text, c.text) << c.line;
    }
    for (const auto& [line, code] :
         std::vector<std::pair<const char*, const char*>>{{"expect notice c4", "C4"},
                                                          {"expect notice ANY", "any"},
                                                          {"expect notice NONE", "none"},
                                                          {"expect notice append", "append"}}) {
        EXPECT_EQ(expectation<ExpectNotice>(line).code, code) << line;
    }
    EXPECT_EQ(expectation<ExpectKeys>("expect keys 2").count, 2);
    const ExpectCursor cursor = expectation<ExpectCursor>("expect cursor 5 10");
    EXPECT_EQ(cursor.row, 5);
    EXPECT_EQ(cursor.column, 10);
    const ExpectAttribute attr = expectation<ExpectAttribute>("expect attribute 1:2 1 24");
    EXPECT_EQ(attr.row, 1);
    EXPECT_EQ(attr.column, 2);
    EXPECT_EQ(attr.attribute, 1);
    EXPECT_EQ(attr.cells, 24);
    EXPECT_EQ(expectation<ExpectAttribute>("expect attribute 1:2 0").cells, 1);
    EXPECT_FALSE(expectation<ExpectTransaction>("expect transaction off").on);
    EXPECT_TRUE(expectation<ExpectTransaction>("expect transaction ON").on);
    EXPECT_EQ(expectation<ExpectClock>("expect clock 2026-01-02 03:04:05").time.day, 2);
    const Show rows = as<Show>("show screen 2-5");
    EXPECT_EQ(rows.what, ShowWhat::screen);
    EXPECT_EQ(rows.first_row, 2);
    EXPECT_EQ(rows.last_row, 5);
    EXPECT_EQ(as<Show>("show variables").what, ShowWhat::vars);
}

TEST(Directives, BlankAndCommentLinesAreSkipped) {
    EXPECT_FALSE(parse_line("", 1).has_value());
    EXPECT_FALSE(parse_line("  \t ", 1).has_value());
    EXPECT_FALSE(parse_line("# call \"x\"", 1).has_value());
}

TEST(Directives, ErrorsNameWhatIsWrongAndWhere) {
    struct Case {
        const char* line;
        const char* message; // a part of the message
        int column;
    };
    const Case cases[] = {
        {"frobnicate 3", "unknown directive \"frobnicate\"", 1},
        {"call", "missing record", 5},
        {"call 21DICOUNT I 05", "must be quoted", 16},
        {"call DICOUNT operation=I counter=40", "counter=40: out of range", 26},
        {"call DICOUNT operation=I kounter=4", "has no field \"kounter\"", 26},
        {"call DICOUNT operation=I", "needs counter=", 6},
        {"set 3 two words", "unexpected \"words\"", 11},
        {"set 0 x", "variable must be 1 to 99, not 0", 5},
        {"set x y", "variable must be a number", 5},
        {"key", "missing key", 4},
        {"key return2", "unknown key \"return2\"", 5},
        {"key 70000", "key code must be 0 to 65535", 5},
        {"clock 2026-02-30 10:00:00", "YYYY-MM-DD HH:MM:SS", 7},
        {"advance 5", "a duration is a number and a unit", 9},
        {"at +5 key 13", "a relative time is +", 4},
        {"at +5s jump", "an event is set, key or stop", 8},
        {"advance 99999999999h", "would take the clock outside its years", 9},
        {"advance 36526d", "would take the clock outside its years", 9},
        {"advance 99999999999999999999999h", "would take the clock outside its years", 9},
        {"advance 2562047788015215h2562047788015215h2562047788015215h2562047788015215h",
         "would take the clock outside its years", 9},
        {"at +36526d stop", "would take the clock outside its years", 4},
        {"expect notice C", "two characters", 15},
        {"expect frobs 3", "cannot expect \"frobs\"", 8},
        {"expect screen 2", "missing text", 16},
        {"expect attribute 2 1", "row:column", 18},
        {"expect transaction maybe", "on or off", 20},
        {"show everything", "cannot show \"everything\"", 6},
        {"show screen 5-2", "last row must be 5 to 255, not 2", 15},
        {"show screen 5", "first-last", 13},
        {"expect attribute 1:x 1", "column must be a number", 20},
    };
    for (const Case& c : cases) {
        const auto [message, column] = error_of(c.line);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.line << " -> " << message;
        EXPECT_EQ(column, c.column) << c.line << " -> " << message;
    }
}

TEST(Scripts, LinesAreNumberedFromOneAndErrorsCarryTheirLine) {
    const Script s = parse_script("# head\n\ncall \"05HELLO\"\r\nexpect notice M1\n", "x.txt");
    ASSERT_EQ(s.directives.size(), 2U);
    EXPECT_EQ(s.directives[0].line, 3);
    EXPECT_EQ(std::get<Call>(s.directives[0].action).record, "05HELLO")
        << "a CR before the newline is no part of the record";
    EXPECT_EQ(s.directives[1].line, 4);
    try {
        parse_script("echo ok\necho ok\nset 1\n", "x.txt");
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.line(), 3);
    }
}

TEST(Directives, WritesStayOnTheScreen) {
    const ScreenSize screen{20, 40};
    EXPECT_TRUE(parse_line(R"(write 19 36 "abcd")", 1, screen).has_value());
    struct Case {
        const char* line;
        const char* message;
        int column;
    };
    const Case cases[] = {
        {R"(write 20 0 "x")", "row must be 0 to 19, not 20", 7},
        {R"(write 0 40 "x")", "column must be 0 to 39, not 40", 9},
        {R"(write 0 37 "abcd")", "the text runs past the last column, 39", 12},
    };
    for (const Case& c : cases) {
        try {
            parse_line(c.line, 3, screen);
            ADD_FAILURE() << c.line;
        } catch (const ScriptError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_EQ(e.column(), c.column) << c.line;
        }
    }
}

TEST(Scripts, EveryErrorIsReportedWithItsPlaceUpToTheLimit) {
    try {
        parse_script("set 0 x\ncall \"05HELLO\"\nkey\nfrob\n", "x.txt");
        FAIL();
    } catch (const ScriptErrors& e) {
        std::vector<std::pair<int, int>> places;
        for (const ScriptError& error : e.errors()) {
            places.emplace_back(error.line(), error.column());
        }
        EXPECT_EQ(places, (std::vector<std::pair<int, int>>{{1, 5}, {3, 4}, {4, 1}}));
        EXPECT_FALSE(e.more());
    }
    std::string many;
    for (size_t i = 0; i < max_script_errors + 5; ++i) {
        many += "frob\n";
    }
    try {
        parse_script(many, "x.txt");
        FAIL();
    } catch (const ScriptErrors& e) {
        EXPECT_EQ(e.errors().size(), max_script_errors);
        EXPECT_EQ(e.errors().back().line(), static_cast<int>(max_script_errors));
        EXPECT_TRUE(e.more());
    }
}

TEST(Scripts, DirectivesAreHandedOnOneLineAtATime) {
    // Each directive reaches the caller as its line is read, with its line number; a text with
    // an error hands nothing on after it and throws every error at the end; what the caller
    // throws is its own and passes through untouched.
    std::vector<int> lines;
    for_each_directive("set 3 x\n# note\n\ncall \"10TRANMSG N \"\n", {},
                       [&](Directive&& d) { lines.push_back(d.line); });
    EXPECT_EQ(lines, (std::vector<int>{1, 4}));

    lines.clear();
    try {
        for_each_directive("set 3 x\nfrob\nset 4 y\nset 0 z\n", {},
                           [&](Directive&& d) { lines.push_back(d.line); });
        ADD_FAILURE() << "no error thrown";
    } catch (const ScriptErrors& e) {
        ASSERT_EQ(e.errors().size(), 2U);
        EXPECT_EQ(e.errors()[0].line(), 2);
        EXPECT_EQ(e.errors()[1].line(), 4);
    }
    EXPECT_EQ(lines, (std::vector<int>{1}));

    int seen = 0;
    try {
        for_each_directive("set 3 x\nset 4 y\n", {}, [&](Directive&&) {
            ++seen;
            throw ScriptError("the caller's own", 9, 9);
        });
        ADD_FAILURE() << "the caller's exception was lost";
    } catch (const ScriptErrors&) {
        ADD_FAILURE() << "the caller's exception became an error of the text";
    } catch (const ScriptError& e) {
        EXPECT_STREQ(e.what(), "the caller's own");
    }
    EXPECT_EQ(seen, 1);
}

} // namespace
} // namespace opkit_cli
