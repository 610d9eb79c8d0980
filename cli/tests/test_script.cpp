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
    EXPECT_EQ(d.verb, Verb::call);
    EXPECT_EQ(d.record, "10TRANMSG N ");
    EXPECT_EQ(d.line, 7);
    EXPECT_EQ(parse("call 05HELLO").record, "05HELLO");
    EXPECT_EQ(parse(R"(call "\x00")").record, std::string(1, '\0'));
}

TEST(Directives, CallWithFieldsComposesTheRecord) {
    const Directive d = parse("call CMP_INT left=3 relation=GE right=4 mode=S");
    EXPECT_EQ(d.record, "29CMP_INT   03  GE   04       S");
    EXPECT_EQ(d.composed_from, "CMP_INT");
}

TEST(Directives, HostDirectives) {
    Directive d = parse(R"(set 12 "two words")");
    EXPECT_EQ(d.verb, Verb::set);
    EXPECT_EQ(d.number, 12);
    EXPECT_EQ(d.text, "two words");

    d = parse("key enter esc abort 0x41 65 x \"ab\"");
    EXPECT_EQ(d.keys, (std::vector<uint16_t>{13, 27, 256, 65, 65, 'x', 'a', 'b'}));

    d = parse("clock 2026-02-28 23:59:59");
    EXPECT_EQ(d.time, (hostsim::DateTime{2026, 2, 28, 23, 59, 59, 0}));
    EXPECT_EQ(parse(R"(clock "2026-02-28 23:59:59")").time, d.time);

    EXPECT_EQ(parse("advance 1m").duration_ms, 60000);
    EXPECT_EQ(parse("message -1").number, -1);
    EXPECT_EQ(parse("unreadable 4").verb, Verb::unreadable);
    EXPECT_EQ(parse("readable 4").verb, Verb::readable);
    EXPECT_EQ(parse("stop").verb, Verb::stop);

    d = parse(R"(write 3 4 "Duplicate" 1)");
    EXPECT_EQ(d.verb, Verb::write);
    EXPECT_EQ(d.number, 3);
    EXPECT_EQ(d.column, 4);
    EXPECT_TRUE(d.flag);
    EXPECT_EQ(d.duration_ms, 1);
}

TEST(Directives, AtSchedulesRelativeTimeOfDayOrAbsolute) {
    Directive d = parse(R"(at +1m30s set 7 "scanned")");
    EXPECT_EQ(d.at_base, Directive::AtBase::relative);
    EXPECT_EQ(d.duration_ms, 90000);
    EXPECT_EQ(d.event.kind, AtEvent::Kind::set);
    EXPECT_EQ(d.event.variable, 7);
    EXPECT_EQ(d.event.text, "scanned");

    d = parse("at 12:00:05 key abort");
    EXPECT_EQ(d.at_base, Directive::AtBase::time_of_day);
    EXPECT_EQ(d.time.hour, 12);
    EXPECT_EQ(d.time.second, 5);
    EXPECT_EQ(d.event.keys, std::vector<uint16_t>{256});

    d = parse("at 2027-01-01 00:00:00 stop");
    EXPECT_EQ(d.at_base, Directive::AtBase::absolute);
    EXPECT_EQ(d.time.year, 2027);
    EXPECT_EQ(d.event.kind, AtEvent::Kind::stop);
}

TEST(Directives, Expectations) {
    struct Case {
        const char* line;
        ExpectWhat what;
        int number;
        int column;
        const char* text;
    };
    const Case cases[] = {
        {"expect result -2", ExpectWhat::result, -2, -1, ""},
        {R"(expect var 3 "")", ExpectWhat::variable, 3, -1, ""},
        {R"(expect var 3 "a b")", ExpectWhat::variable, 3, -1, "a b"},
        {R"(expect screen 2 "+---+")", ExpectWhat::screen, 2, -1, "+---+"},
        {R"(expect screen 0:9 "C4")", ExpectWhat::screen, 0, 9, "C4"},
        {"expect notice c4", ExpectWhat::notice, 0, -1, "c4"},
        {"expect notice NONE", ExpectWhat::notice, 0, -1, "none"},
        {"expect notice append", ExpectWhat::notice, 0, -1, "append"},
        {"expect keys 2", ExpectWhat::keys, 2, -1, ""},
        {"expect cursor 5 10", ExpectWhat::cursor, 5, 10, ""},
        {"expect attribute 1:2 1 24", ExpectWhat::attribute, 1, 2, "1"},
    };
    for (const Case& c : cases) {
        const Directive d = parse(c.line);
        EXPECT_EQ(d.verb, Verb::expect) << c.line;
        EXPECT_EQ(d.expect, c.what) << c.line;
        EXPECT_EQ(d.number, c.number) << c.line;
        EXPECT_EQ(d.column, c.column) << c.line;
        EXPECT_EQ(d.text, c.text) << c.line;
    }
    EXPECT_EQ(parse("expect attribute 1:2 1 24").duration_ms, 24);
    EXPECT_FALSE(parse("expect transaction off").flag);
    EXPECT_TRUE(parse("expect transaction ON").flag);
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
        {"expect notice C", "two characters", 15},
        {"expect frobs 3", "cannot expect \"frobs\"", 8},
        {"expect screen 2", "missing text", 16},
        {"expect attribute 2 1", "row:column", 18},
        {"expect transaction maybe", "on or off", 20},
        {"show everything", "cannot show", 6},
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
    EXPECT_EQ(s.directives[0].record, "05HELLO")
        << "a CR before the newline is no part of the record";
    EXPECT_EQ(s.directives[1].line, 4);
    try {
        parse_script("echo ok\necho ok\nset 1\n", "x.txt");
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.line(), 3);
    }
}

} // namespace
} // namespace opkit_cli
