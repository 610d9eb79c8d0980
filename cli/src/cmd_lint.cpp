// opkit-host lint: an application's tables of call records checked without running them.
#include <iostream>

#include "app.h"
#include "lint.h"
#include "locate.h"

namespace opkit_cli {

namespace {

constexpr const char* lint_footer = R"TXT(
A table holds one record a line, bare or in double quotes ("\x41" escapes
allowed); blank lines and lines starting with # are skipped, and a # may follow
a quoted record. A bare record runs to the end of its line, trailing blanks
included. Every finding is printed as FILE:LINE:COLUMN: CODE: MESSAGE, with the
notice code the record leads to by itself (C4, D1, ...), unread-column (text in
columns no field of the function reads), length-mismatch (length digits that
disagree with the record's length), trap (the length passes the function's
length checks but a field it reads lies past the end) or syntax.
A table named - is read from standard input.
Exit status: 0 nothing found, 1 findings, 2 a table could not be read.

Examples:
  opkit-host lint examples/tables/records.tbl
  opkit-host lint app/*.tbl
  opkit-host compose --quoted DICOUNT operation=I counter=5 | opkit-host lint -
)TXT";

int command_lint(const std::vector<std::string>& files) {
    int records = 0;
    size_t findings = 0;
    size_t unreadable = 0;
    for (const std::string& file : files) {
        std::string text;
        if (!read_file(file, "table", text)) {
            ++unreadable;
            continue;
        }
        const LintResult result = lint_table(text);
        const std::string name = file_label(file);
        for (const LintFinding& f : result.findings) {
            std::cout << render_finding(name, f) << "\n";
        }
        records += result.records;
        findings += result.findings.size();
    }
    // The summary counts the tables that were read; when none was, there is nothing to sum up.
    const size_t read = files.size() - unreadable;
    if (read == 0) {
        return exit_error;
    }
    std::cout << records << (records == 1 ? " record" : " records") << " in " << read
              << (read == 1 ? " table: " : " tables: ");
    if (findings == 0) {
        std::cout << "nothing found\n";
    } else {
        std::cout << findings << (findings == 1 ? " finding\n" : " findings\n");
    }
    if (unreadable > 0) {
        return exit_error;
    }
    return findings == 0 ? exit_ok : exit_failed;
}

} // namespace

Command add_lint_command(CLI::App& app) {
    auto files = std::make_shared<std::vector<std::string>>();
    CLI::App* lint =
        app.add_subcommand("lint", "check tables of call records without running them");
    lint->add_option("tables", *files, "table files, one record a line (-: standard input)")
        ->required();
    lint->footer(lint_footer);
    return [lint, files] { return lint->parsed() ? command_lint(*files) : -1; };
}

} // namespace opkit_cli
