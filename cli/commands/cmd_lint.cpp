// opkit-host lint: an application's tables of call records checked without running them.
#include <algorithm>
#include <iostream>

#include "app.h"
#include "files.h"
#include "lint.h"
#include "locate.h"

namespace opkit_cli {

namespace {

constexpr const char* lint_footer = R"TXT(
A table holds one record a line, bare or in double quotes ("\x41" escapes
allowed); blank lines and lines starting with # are skipped, and a # may follow
a quoted record. A bare record is the whole line, blanks before it and after it
included, as the plug-in would receive it. A table without records is an error
unless --allow-empty. Every finding is printed as FILE:LINE:COLUMN: CODE: MESSAGE:
LINE and COLUMN count from 1 in the file; a column a MESSAGE names is the
record's own, counted from 0 as explain's ruler counts. CODE is the
notice code the record leads to by itself (C4, D1, ...), unread-column (text in
columns no field of the function reads), length-mismatch (length digits that
disagree with the record's length), trap (the length passes the function's
length checks but a field it reads lies past the end) or syntax.
A table named - is read from standard input.
Exit status: 0 nothing found, 1 findings, 2 a table could not be read or holds
no record.

Examples:
  opkit-host lint examples/tables/records.tbl
  opkit-host lint app/*.tbl
  opkit-host compose --quoted DICOUNT operation=I counter=5 | opkit-host lint -
)TXT";

struct LintArgs {
    std::vector<std::string> files;
    bool allow_empty = false;
};

int command_lint(const LintArgs& args) {
    const std::vector<std::string>& files = args.files;
    if (std::count(files.begin(), files.end(), std::string("-")) > 1) {
        throw Failure(
            "opkit-host lint: error: standard input (-) is named more than once; it holds "
            "one table");
    }
    int records = 0;
    size_t findings = 0;
    size_t unreadable = 0;
    for (const std::string& file : files) {
        std::string text;
        try {
            read_file(file, "table", text, max_table_bytes);
        } catch (const Failure& failure) {
            report(failure); // the other tables are still read
            ++unreadable;
            continue;
        }
        const LintResult result = lint_table(text);
        const std::string name = file_label(file);
        for (const LintFinding& f : result.findings) {
            std::cout << render_finding(name, f) << "\n";
        }
        // A table without records checks nothing: an empty file, or the wrong one.
        if (result.records == 0 && !args.allow_empty) {
            std::cerr << name << ": error: the table holds no record (--allow-empty accepts it)\n";
            ++unreadable;
            continue;
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
    auto args = std::make_shared<LintArgs>();
    CLI::App* lint =
        app.add_subcommand("lint", "check tables of call records without running them");
    lint->add_option("tables", args->files, "table files, one record a line (-: standard input)")
        ->type_name("FILE")
        ->required();
    lint->add_flag("--allow-empty", args->allow_empty, "accept a table that holds no record");
    lint->footer(lint_footer);
    return [lint, args] { return lint->parsed() ? command_lint(*args) : -1; };
}

} // namespace opkit_cli
