// compose and explain: records built from fields decode to the same fields, bad values are
// refused, and the analysis of a record names the notice its function raises, in the order of
// the function's checks.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "compose.h"
#include "explain.h"
#include "render.h"

namespace opkit_cli {
namespace {

const FieldReport* report_of(const Analysis& a, const std::string& name) {
    for (const FieldReport& f : a.fields) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

struct RoundTrip {
    const char* function;
    std::vector<FieldAssignment> fields;
    std::map<std::string, std::string> decoded; // field -> value as explain shows it
};

std::vector<RoundTrip> round_trips() {
    return {
        {"DICOUNT",
         {{"operation", "I"}, {"counter", "5"}},
         {{"operation", "'I'"}, {"counter", "5"}}},
        {"dicount",
         {{"operation", "store"}, {"counter", "32"}, {"variable", "19"}},
         {{"operation", "'S'"}, {"counter", "32"}, {"variable", "19"}}},
        {"DICOUNT",
         {{"operation", "decrement"}, {"counter", "1"}},
         {{"operation", "'D'"}, {"counter", "1"}}},
        {"DICOUNT",
         {{"operation", "r"}, {"counter", "7"}},
         {{"operation", "'R'"}, {"counter", "7"}}},
        {"POPUPWN",
         {{"action", "open"}, {"rows", "16"}, {"frame", "reverse"}},
         {{"action", "'C'"}, {"rows", "16"}, {"frame", "'R'"}}},
        {"POPUPWN",
         {{"action", "C"}, {"rows", "1"}, {"frame", "N"}},
         {{"rows", "1"}, {"frame", "'N'"}}},
        {"POPUPWN", {{"action", "close"}}, {{"action", "'R'"}}},
        {"COMPARE",
         {{"left", "14"}, {"relation", "LT"}, {"right", "25"}, {"mode", "N"}},
         {{"left", "14"},
          {"relation", "'L'"},
          {"relation2", "'T'"},
          {"right", "25"},
          {"mode", "'N'"}}},
        {"COMPARE",
         {{"left", "1"}, {"relation", ">="}, {"right", "99"}, {"mode", "s"}},
         {{"relation", "'G'"}, {"relation2", "'E'"}, {"mode", "'S'"}}},
        {"COMPARE",
         {{"left", "1"}, {"relation", "G"}, {"relation2", "T"}, {"right", "2"}, {"mode", "S"}},
         {{"relation", "'G'"}, {"relation2", "'T'"}}},
        {"CMP_INT",
         {{"left", "3"}, {"relation", "ne"}, {"right", "4"}, {"mode", "A"}},
         {{"left", "3"}, {"relation", "'N'"}, {"right", "4"}, {"mode", "'A'"}}},
        {"CMP_INT",
         {{"left", "3"}, {"relation", "<="}, {"right", "4"}, {"mode", "N"}},
         {{"relation2", "'E'"}}},
        {"INTMATH",
         {{"left", "7"}, {"operator", "/"}, {"right", "2"}},
         {{"left", "7"}, {"operator", "'/'"}, {"right", "2"}}},
        {"INTMATH", {{"left", "7"}, {"operator", "minus"}, {"right", "2"}}, {{"operator", "'-'"}}},
        {"CHKUNIQ",
         {{"action", "verify"}, {"variable", "8"}, {"list", "2"}},
         {{"action", "'V'"}, {"variable", "8"}, {"list", "2"}}},
        {"CHKUNIQ", {{"action", "R"}, {"list", "1"}}, {{"action", "'R'"}, {"reset_list", "1"}}},
        {"CHKUNIQ", {{"action", "reset"}, {"reset_list", "2"}}, {{"reset_list", "2"}}},
        {"TM_DATE",
         {{"hours", "12"}, {"time_variable", "4"}, {"style", "euro"}, {"date_variable", "19"}},
         {{"hours", "12"}, {"time_variable", "4"}, {"style", "\"EURO\""}, {"date_variable", "19"}}},
        {"TRANMSG", {{"switch", "off"}}, {{"switch", "'N'"}}},
        {"TRANMSG", {{"switch", "on"}}, {{"switch", "'Y'"}}},
        {"V_DELAY", {{"count", "0"}}, {{"count", "0"}}},
        {"V_DELAY", {{"count", "99999"}}, {{"count", "99999"}}},
        {"WAIT_UV",
         {{"variable", "12"}, {"timeout", "999"}},
         {{"variable", "12"}, {"timeout", "999"}}},
    };
}

TEST(ComposeExplain, ComposedRecordsDecodeToTheirFieldsWithoutNotice) {
    std::set<std::string> covered;
    for (const RoundTrip& t : round_trips()) {
        const Composed c = compose_record(t.function, t.fields);
        const Analysis a = analyse(c.record);
        SCOPED_TRACE(t.function + (" " + c.record));
        ASSERT_NE(a.layout, nullptr);
        EXPECT_EQ(a.length, a.chars - 2)
            << "the length digits count the characters from column 2 on";
        EXPECT_TRUE(a.length_notes.empty());
        EXPECT_EQ(a.notice, "");
        EXPECT_TRUE(c.notes.empty());
        for (const auto& [field, value] : t.decoded) {
            const FieldReport* f = report_of(a, field);
            ASSERT_NE(f, nullptr) << field;
            EXPECT_EQ(f->value, value) << field;
            EXPECT_TRUE(f->read) << field;
            covered.insert(std::string(a.layout->name) + "." + field);
        }
    }
    for (const opkit::Layout& layout : opkit::layouts) {
        for (size_t i = 0; i < layout.field_count; ++i) {
            EXPECT_EQ(covered.count(std::string(layout.name) + "." + layout.fields[i].name), 1U)
                << layout.name << "." << layout.fields[i].name << " has no round trip";
        }
    }
}

TEST(Compose, RecordsReachTheLastFieldReadAndMeetTheLengthRule) {
    // The shortest CMP_INT length passes its length test but ends before the mode letter:
    // compose writes up to the letter.
    EXPECT_EQ(compose_record("CMP_INT",
                             {{"left", "3"}, {"relation", "GE"}, {"right", "4"}, {"mode", "S"}})
                  .record,
              "29CMP_INT   03  GE   04       S");
    EXPECT_EQ(compose_record("DICOUNT", {{"operation", "I"}, {"counter", "5"}}).record,
              "21DICOUNT I         05 ");
    EXPECT_EQ(compose_record("TRANMSG", {{"switch", "N"}}).record, "10TRANMSG N ");
    EXPECT_EQ(compose_record("V_DELAY", {{"count", "3"}}).record, "09V_DELAY 3");
    EXPECT_EQ(compose_record("POPUPWN", {{"action", "R"}}).record, "09POPUPWN R");
    EXPECT_EQ(compose_record("WAIT_UV", {{"variable", "5"}, {"timeout", "7"}}).record,
              "22WAIT_UV     05     007");
}

TEST(Compose, FieldsThisCallDoesNotReadAreLeftOutWithANote) {
    const Composed c =
        compose_record("DICOUNT", {{"operation", "I"}, {"counter", "5"}, {"variable", "3"}});
    EXPECT_EQ(c.record, "21DICOUNT I         05 ");
    ASSERT_EQ(c.notes.size(), 1U);
    EXPECT_NE(c.notes[0].find("variable"), std::string::npos);
}

TEST(Compose, ValuesTheFunctionRefusesAreRejectedWithTheFieldAtFault) {
    struct Case {
        const char* function;
        std::vector<FieldAssignment> fields;
        const char* message;
        int index;
    };
    const Case cases[] = {
        {"DICOUNT", {{"operation", "I"}, {"counter", "0"}}, "counter=0: out of range", 1},
        {"DICOUNT", {{"operation", "I"}, {"counter", "33"}}, "counter=33: out of range", 1},
        {"DICOUNT", {{"operation", "I"}, {"counter", "5x"}}, "not a whole number", 1},
        {"DICOUNT", {{"operation", "S"}, {"counter", "5"}, {"variable", "20"}}, "variable=20", 2},
        {"DICOUNT", {{"operation", "X"}, {"counter", "5"}}, "operation=X: not accepted", 0},
        {"DICOUNT", {{"operation", "S"}, {"counter", "5"}}, "needs variable=", -1},
        {"POPUPWN", {{"action", "C"}, {"rows", "17"}, {"frame", "N"}}, "rows=17", 1},
        {"POPUPWN", {{"action", "C"}, {"rows", "3"}, {"frame", "Q"}}, "frame=Q", 2},
        {"COMPARE",
         {{"left", "1"}, {"relation", "EQ"}, {"right", "2"}, {"mode", "A"}},
         "mode=A",
         3},
        {"COMPARE",
         {{"left", "1"}, {"relation", "GX"}, {"right", "2"}, {"mode", "N"}},
         "relation=GX",
         1},
        {"CMP_INT",
         {{"left", "100"}, {"relation", "EQ"}, {"right", "2"}, {"mode", "N"}},
         "left=100",
         0},
        {"INTMATH", {{"left", "1"}, {"operator", "x"}, {"right", "2"}}, "operator=x", 1},
        {"CHKUNIQ", {{"action", "V"}, {"variable", "8"}, {"list", "3"}}, "list=3", 2},
        {"TM_DATE",
         {{"hours", "13"}, {"time_variable", "4"}, {"style", "EURO"}, {"date_variable", "5"}},
         "hours=13",
         0},
        {"TM_DATE",
         {{"hours", "24"}, {"time_variable", "4"}, {"style", "ASIA"}, {"date_variable", "5"}},
         "style=ASIA",
         2},
        {"TRANMSG", {{"switch", "maybe"}}, "switch=maybe", 0},
        {"V_DELAY", {{"count", "-1"}}, "count=-1", 0},
        {"V_DELAY", {{"count", "100000"}}, "count=100000", 0},
        {"WAIT_UV", {{"variable", "5"}, {"timeout", "1000"}}, "timeout=1000", 1},
        {"WAIT_UV", {{"variable", "5"}, {"timeout", "1"}, {"Timeout", "2"}}, "given twice", 2},
        {"WAIT_UV", {{"variable", "5"}, {"delay", "1"}}, "no field \"delay\"", 1},
        {"NOPE", {}, "no function is called \"NOPE\"", -1},
    };
    for (const Case& c : cases) {
        try {
            compose_record(c.function, c.fields);
            ADD_FAILURE() << c.function << " " << c.message;
        } catch (const ComposeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_EQ(e.index(), c.index) << e.what();
        }
    }
    EXPECT_THROW(parse_assignment("counter", 4), ComposeError);
    EXPECT_THROW(parse_assignment("=5", 4), ComposeError);
    EXPECT_EQ(parse_assignment("operator==", 0).value, "=");
}

struct NoticeCase {
    const char* record;
    const char* notice; // "" for none
    bool before_host;
};

TEST(Explain, EachFunctionsChecksInTheirOrder) {
    const NoticeCase cases[] = {
        {"05HELLO", "M1", true},
        {"21dicount i         05", "", false},
        {"20DICOUNT I         05", "D1", true},
        {"21DICOUNT I         33", "D2", true},
        {"21DICOUNT X         -1", "D2", true}, // the counter is tested before the letter
        {"31DICOUNT S         05         03", "D3", true},
        {"32DICOUNT S         05         20", "D4", true},
        {"32DICOUNT s         05         19", "", false},
        {"21DICOUNT X         05", "D5", true},
        {"21DICOUNT I         05         99", "", false}, // the variable is read for S only
        {"22POPUPWN C     05      N", "P2", true},
        {"23POPUPWN C     17      N", "P3", true},
        {"23POPUPWN C      5      N", "", false},
        {"08POPUPWN R", "P4", true},
        {"23POPUPWN X     99      N", "", false},
        {"35COMPARE     01  EQ     02          N", "C1", true},
        {"36COMPARE     01  EQ     02          A", "C4", false},
        {"36COMPARE     01  GX     02          N", "C5", false},
        {"36COMPARE     01  XX     02          Q", "C4", false}, // mode before relation
        {"36COMPARE     01  EX     02          n", "", false},   // EQ reads one letter
        {"27CMP_INT   03  GE   04       S", "C1", true},
        {"28CMP_INT   03  GE   04      ", "C4", false},
        {"29CMP_INT   03  LQ   04       S", "C5", false},
        {"21INTMATH   03  x   04", "C5", false},
        {"20INTMATH   03  +   04", "C1", true},
        {"23CHKUNIQ V   08         1", "U2", true},
        {"24CHKUNIQ V   08         3", "U4", false},
        {"21CHKUNIQ R            1", "U5", true},
        {"22CHKUNIQ R            0", "U4", true},
        {"24CHKUNIQ X   08         3", "", false},
        {"51TM_DATE 24                  04   EURO             05", "E1", true},
        {"52TM_DATE 24                  00   EURO             05", "E2", true},
        {"52TM_DATE 24                  04   EURO             20", "E3", true},
        {"52TM_DATE 13                  04   EURO             05", "E4", false},
        {"52TM_DATE 12                  04   Asia             05", "E5", false},
        {"52TM_DATE 12                  04   aMeR             05", "", false},
        {"09TRANMSG N", "F1", true},
        {"10TRANMSG x ", "", false},
        {"14V_DELAY 12345", "V3", true},
        {"07V_DELAY", "", false},
        {"21WAIT_UV     05     00", "W2", true},
    };
    for (const NoticeCase& c : cases) {
        const Analysis a = analyse(c.record);
        EXPECT_EQ(a.notice, c.notice) << c.record;
        if (*c.notice != '\0') {
            EXPECT_EQ(a.notice_before_host, c.before_host) << c.record;
            ASSERT_FALSE(a.checks.empty());
            EXPECT_EQ(a.checks.back().code, c.notice)
                << "the checks stop at the failing one: " << c.record;
            EXPECT_EQ(a.checks.back().state, Check::State::fails) << c.record;
        }
    }
}

TEST(Explain, ReadsAreListedWithTheNumberTheHostReceives) {
    // CMP_INT and INTMATH hand over the low 8 bits, COMPARE the number as converted.
    Analysis a = analyse("29CMP_INT   -1  EQ   04       S");
    ASSERT_EQ(a.reads.size(), 2U);
    EXPECT_EQ(a.reads[0].variable, 255);
    EXPECT_EQ(a.reads[0].code, "C2");
    EXPECT_EQ(a.reads[1].code, "C3");
    a = analyse("36COMPARE     -1  EQ     02          N");
    ASSERT_EQ(a.reads.size(), 2U);
    EXPECT_EQ(a.reads[0].variable, -1);
    // A record decided before the reads makes none.
    EXPECT_TRUE(analyse("20INTMATH   03  +   04").reads.empty());
}

TEST(Explain, TheHostsAnswersDecideTheRemainingNotices) {
    std::map<int, ReadAnswer> host{{3, {0, "12"}}, {4, {3, ""}}, {5, {0, "abc"}}, {6, {0, "0"}}};
    const HostReader reader = [&](int v) {
        const auto it = host.find(v);
        return it == host.end() ? ReadAnswer{1, ""} : it->second;
    };
    EXPECT_EQ(predict_notice(analyse("29CMP_INT   03  GE   04       S"), reader), "C3");
    EXPECT_EQ(predict_notice(analyse("29CMP_INT   04  GE   03       S"), reader), "C2");
    EXPECT_EQ(predict_notice(analyse("29CMP_INT   03  GE   05       S"), reader), "");
    EXPECT_EQ(predict_notice(analyse("29CMP_INT   03  GE   07       S"), reader), "C3")
        << "outside the host's range";
    EXPECT_EQ(predict_notice(analyse("21INTMATH   03  /   05 "), reader), "C6")
        << "'abc' converts to 0";
    EXPECT_EQ(predict_notice(analyse("21INTMATH   03  /   06 "), reader), "C6");
    EXPECT_EQ(predict_notice(analyse("21INTMATH   05  /   03 "), reader), "");
    EXPECT_EQ(predict_notice(analyse("21INTMATH   03  x   04 "), reader), "C3")
        << "reads come before the operator";
    EXPECT_EQ(predict_notice(analyse("24CHKUNIQ V   04         9"), reader), "U3")
        << "U3 comes before U4";
    EXPECT_EQ(predict_notice(analyse("22WAIT_UV     04     005"), reader), "W3");
}

TEST(Explain, WaitTimeoutIsStatedInWholeSeconds) {
    // The wait ends once more than T whole seconds have passed: a timeout of 5 lasts up to 6 s.
    for (const auto& [record, whole, longest] :
         {std::tuple{"22WAIT_UV     05     005", "more than 5 whole seconds", "up to 6 s"},
          std::tuple{"22WAIT_UV     05     000", "more than 0 whole seconds", "up to 1 s"},
          std::tuple{"22WAIT_UV     05      -1", "more than 65535 whole seconds",
                     "up to 65536 s"}}) {
        const Analysis a = analyse(record);
        EXPECT_NE(a.action.find(whole), std::string::npos) << a.action;
        EXPECT_NE(a.action.find(longest), std::string::npos) << a.action;
        EXPECT_NE(report_of(a, "timeout")->verdict.find(longest), std::string::npos);
    }
}

TEST(Explain, TheShortRecordTrapIsExplained) {
    const std::string text = render_explanation(analyse("28CMP_INT   03  GE   04      "));
    EXPECT_NE(text.find("before the mode letter in column 30"), std::string::npos) << text;
    EXPECT_NE(text.find("length 29"), std::string::npos) << text;
    EXPECT_NE(text.find("Notice: C4, after the reads above"), std::string::npos) << text;
}

TEST(Explain, RulerMarksEachFieldsColumnsAndFieldsNotRead) {
    const std::string text = render_explanation(analyse("21DICOUNT I         05         03"));
    EXPECT_NE(text.find("    21DICOUNT I         05         03\n"
                        "    ##======= a         bb         ..\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("not read (store only)"), std::string::npos);
}

TEST(Explain, LengthDigitsThatDisagreeWithTheRecordAreExplained) {
    Analysis a = analyse("32DICOUNT S         05");
    ASSERT_EQ(a.length_notes.size(), 1U);
    EXPECT_NE(a.length_notes[0].find("columns 22 to 33 read as the end of the record"),
              std::string::npos)
        << a.length_notes[0];
    EXPECT_EQ(a.notice, "D4") << "the variable columns lie beyond the record's end and read as 0";
    EXPECT_NE(report_of(a, "variable")->verdict.find("beyond the end"), std::string::npos);

    a = analyse("xxDICOUNT I         05");
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.notice, "D1");
    EXPECT_NE(a.length_notes[0].find("two decimal digits"), std::string::npos);
}

TEST(Explain, UnknownNamesGetAHint) {
    Analysis a = analyse("21DICUONT I         05");
    EXPECT_EQ(a.notice, "M1");
    ASSERT_EQ(a.name_notes.size(), 1U);
    EXPECT_EQ(a.name_notes[0], "did you mean DICOUNT?");

    a = analyse("DICOUNT I         05");
    ASSERT_EQ(a.name_notes.size(), 1U);
    EXPECT_NE(a.name_notes[0].find("DICOUNT stands at column 0"), std::string::npos);

    EXPECT_TRUE(analyse("05QQQQQ").name_notes.empty()) << "no guess when nothing is close";
    EXPECT_EQ(analyse("").notice, "M1");
}

TEST(Explain, VDelayCountIsWhatTheLengthLeavesForIt) {
    struct Case {
        const char* record;
        const char* count;
        const char* action_part;
    };
    const Case cases[] = {
        {"09V_DELAY 3", "3", "8 passes"},
        {"08V_DELAY 3", "0", "1 passes"},
        {"10V_DELAY 37", "37", "98 passes"},
        {"09V_DELAY 37", "3", "8 passes"}, // the count is as wide as the length says
        {"09V_DELAY -5", "0", "1 passes"},
        {"05V_DELAY", "0", "1 passes"},
    };
    for (const Case& c : cases) {
        const Analysis a = analyse(c.record);
        EXPECT_EQ(report_of(a, "count")->value, c.count) << c.record;
        EXPECT_NE(a.action.find(c.action_part), std::string::npos) << c.record << ": " << a.action;
    }
}

TEST(Explain, NoticeRowShowsTheFirstEighteenCharacters) {
    EXPECT_EQ(notice_row("05HELLO", "M1"), "Bad CCFR(M1):05HELLO");
    EXPECT_EQ(notice_row("36COMPARE     01  EQ     02          A", "C4"),
              "Bad CCFR(C4):36COMPARE     01  ");
    EXPECT_EQ(quoted_text("a\"b\\c\x01"), "\"a\\\"b\\\\c\\x01\"");
}

} // namespace
} // namespace opkit_cli
