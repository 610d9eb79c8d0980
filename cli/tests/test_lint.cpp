// Record warnings and the table linter: which columns each finding points at, in the record
// and in the file's line, through quotes, escapes and bare records; and the escapes that keep
// any byte valid in JSON and XML.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lint.h"
#include "report_formats.h"
#include "warnings.h"

namespace opkit_cli {
namespace {

std::vector<std::string> findings(const std::string& table) {
    std::vector<std::string> out;
    for (const LintFinding& f : lint_table(table).findings) {
        out.push_back(std::to_string(f.line) + ":" + std::to_string(f.column) + " " + f.code);
    }
    return out;
}

struct TableCase {
    const char* table;
    std::vector<std::string> expected;
};

// The table as the case's name in test listings (rather than the bytes of the struct).
void PrintTo(const TableCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.table));
}

class LintTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(LintTable, FindsEachFaultAtItsColumn) {
    EXPECT_EQ(findings(GetParam().table), GetParam().expected) << GetParam().table;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, LintTable,
    ::testing::Values(
        // Clean records, quoted or bare, with comments and blank lines: nothing.
        TableCase{"# c\n\n\"21DICOUNT I         05 \"  # ok\n10TRANMSG N \n  \n", {}},
        // A bare record is the whole line: blanks before it are its first characters, as the
        // plug-in receives them.
        TableCase{"  10TRANMSG N \n", {"1:1 M1", "1:1 length-mismatch"}},
        TableCase{"\t29CMP_INT   03  GE   04       S\n", {"1:1 M1", "1:1 length-mismatch"}},
        // Unread columns; an escape before them takes four columns of the line but one of
        // the record.
        TableCase{"\"29CMP_INT   03 GE   04        S\"",
                  {"1:17 unread-column", "1:22 unread-column"}},
        TableCase{"\"29CMP_\\x49NT   03 GE   04        S\"",
                  {"1:20 unread-column", "1:25 unread-column"}},
        // A run of unread characters is one finding.
        TableCase{"11TRANMSG NXY", {"1:12 unread-column"}},
        // Length digits against the real length, in a bare record with trailing blanks.
        TableCase{"11TRANMSG N ", {"1:1 length-mismatch"}},
        TableCase{"10TRANMSG N  ", {"1:1 length-mismatch"}},
        // Digits that reach the mode column of a record that ends before it: the mismatch
        // says it. Digits that pass the length check and still stop short: the trap.
        TableCase{"29CMP_INT   03  GE   04      ", {"1:30 C4", "1:1 length-mismatch"}},
        TableCase{"28CMP_INT   03  GE   04       ", {"1:31 C4", "1:31 trap"}},
        // What no record can be made of.
        TableCase{"\"05HELLO", {"1:1 syntax"}}, TableCase{"\"05\\qHELLO\"", {"1:4 syntax"}},
        TableCase{"\"10TRANMSG N \" extra", {"1:16 syntax"}}));

TEST(RecordWarnings, ComposedRecordsOfEveryKindHaveNone) {
    for (const char* record :
         {"21DICOUNT I         05 ", "32DICOUNT S         05         03 ",
          "23POPUPWN C     02      R", "09POPUPWN R", "29CMP_INT   03  GE   04       S",
          "21INTMATH   02  +   03 ", "52TM_DATE 12                  04   AMER             05",
          "22WAIT_UV     07     005", "13V_DELAY 00010"}) {
        EXPECT_TRUE(record_warnings(record).empty()) << record;
    }
}

TEST(MachineText, EveryByteStaysValid) {
    const std::string bytes{"a\"\\\x1b\t<&>\xe9", 9};
    EXPECT_EQ(json_string(bytes), "\"a\\\"\\\\\\u001B\\u0009<&>\\u00E9\"");
    EXPECT_EQ(xml_text(bytes), "a&quot;\\\\x1B\\x09&lt;&amp;&gt;\\xE9");
}

} // namespace
} // namespace opkit_cli
