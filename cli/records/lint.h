// Checking an application's table of call records: one record a line, written bare (the whole
// line, blanks before it included, as the plug-in would receive it) or in double quotes (with the
// escapes \" \\ \n \t \xHH), blank lines and # comments ignored. Each record is explained without
// running it; every notice it leads to by itself and every warning about it is a finding with the
// line and column of the file where it stands.
#pragma once

#include <string>
#include <vector>

namespace opkit_cli {

struct LintFinding {
    int line = 0;   // 1-based
    int column = 0; // 1-based, in the file's line (a column a message names is the record's own,
                    // 0-based as explain's ruler counts)
    std::string code;
    std::string message;
};

struct LintResult {
    int records = 0;
    std::vector<LintFinding> findings;
};

// Lints the text of one table.
LintResult lint_table(const std::string& text);

// "file:line:col: code: message"
std::string render_finding(const std::string& file, const LintFinding& finding);

} // namespace opkit_cli
