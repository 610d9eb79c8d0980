// The record table linter.
#include "lint.h"

#include "compose.h"
#include "explain.h"
#include "text.h"
#include "warnings.h"

namespace opkit_cli {

namespace {

// A record read from a line, with the line column (0-based) where each of its characters is
// written, and one past its end.
struct TableRecord {
    std::string text;
    std::vector<int> at;
    std::string error; // why the line holds no record
    int error_column = 0;
};

TableRecord read_quoted(const std::string& line, size_t start) {
    TableRecord r;
    size_t i = start + 1;
    while (i < line.size() && line[i] != '"') {
        char c = line[i];
        int used = 1;
        if (c == '\\') {
            used = read_escape(line, i, c);
            if (used == 0) {
                r.error = "unknown escape in the quoted record (use \\\" \\\\ \\n \\t \\xHH)";
                r.error_column = static_cast<int>(i);
                return r;
            }
        }
        r.text += c;
        r.at.push_back(static_cast<int>(i));
        i += static_cast<size_t>(used);
    }
    if (i >= line.size()) {
        r.error = "the quoted record has no closing quote";
        r.error_column = static_cast<int>(start);
        return r;
    }
    r.at.push_back(static_cast<int>(i));
    const size_t rest = line.find_first_not_of(" \t\r", i + 1);
    if (rest != std::string::npos && line[rest] != '#') {
        r.error = "text after the quoted record (a # starts a comment)";
        r.error_column = static_cast<int>(rest);
    }
    return r;
}

// A bare record is the rest of the line, trailing blanks included (they count in its length),
// without a carriage return.
TableRecord read_bare(const std::string& line, size_t start) {
    TableRecord r;
    size_t end = line.size();
    if (end > start && line[end - 1] == '\r') {
        --end;
    }
    r.text = line.substr(start, end - start);
    for (size_t i = start; i <= end; ++i) {
        r.at.push_back(static_cast<int>(i));
    }
    return r;
}

int file_column(const TableRecord& r, int record_column) {
    const size_t c = static_cast<size_t>(std::max(0, record_column));
    return (c < r.at.size() ? r.at[c] : r.at.back()) + 1;
}

void lint_record(const TableRecord& r, int line, LintResult& result) {
    const Analysis a = analyse(r.text);
    if (!a.notice.empty()) {
        // The column of the field the notice is about, else the record's start.
        int column = 0;
        for (const FieldReport& f : a.fields) {
            if (f.fault) {
                column = f.first;
            }
        }
        std::string why;
        for (const Check& c : a.checks) {
            if (c.state == Check::State::fails) {
                why = c.text;
            }
        }
        result.findings.push_back(
            {line, file_column(r, column), a.notice,
             "the record leads to notice " + a.notice + (why.empty() ? "" : ": " + why)});
    }
    for (const RecordWarning& w : record_warnings(a)) {
        result.findings.push_back(
            {line, file_column(r, w.column), warning_code(w.kind), w.message});
    }
}

} // namespace

LintResult lint_table(const std::string& text) {
    LintResult result;
    size_t begin = 0;
    for (int line = 1; begin < text.size(); ++line) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string row = text.substr(begin, end - begin);
        begin = end + 1;
        const size_t start = row.find_first_not_of(" \t\r");
        if (start == std::string::npos || row[start] == '#') {
            continue;
        }
        // A bare record is the whole line, the blanks before it included: the plug-in receives
        // them as the record's first characters.
        TableRecord r = row[start] == '"' ? read_quoted(row, start) : read_bare(row, 0);
        if (r.error.empty()) {
            if (const std::string why = record_too_long(r.text); !why.empty()) {
                r.error = why;
                r.error_column = static_cast<int>(start);
            }
        }
        if (!r.error.empty()) {
            result.findings.push_back({line, r.error_column + 1, "syntax", r.error});
            continue;
        }
        ++result.records;
        lint_record(r, line, result);
    }
    return result;
}

std::string render_finding(const std::string& file, const LintFinding& f) {
    return file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + ": " + f.code +
           ": " + f.message;
}

} // namespace opkit_cli
