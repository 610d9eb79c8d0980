// libFuzzer target for opkit-host's untrusted inputs: the bytes are a host script, read by the
// script parser (which composes `call FUNCTION field=value` records on the way); every record
// the script calls, and the input's first line taken as a record, are then explained and
// checked for warnings; the bytes are also read as lint's table of records. No input may
// crash, hang or trip a sanitizer; a rejected script must be rejected with a line and a column
// that lie inside the input for every error reported, and so must every lint finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "explain.h"
#include "lint.h"
#include "script.h"
#include "warnings.h"

namespace {

[[noreturn]] void finding(const char* what, const std::string& detail) {
    std::fprintf(stderr, "opkit script fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Lengths of the input's lines, split at '\n' (a '\r' before it belongs to the line).
std::vector<size_t> line_lengths(std::string_view text) {
    std::vector<size_t> lengths;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lengths.push_back(text.size() - start);
            return lengths;
        }
        lengths.push_back(end - start);
        start = end + 1;
    }
}

void explain(std::string_view record) {
    const opkit_cli::Analysis analysis = opkit_cli::analyse(record);
    (void)opkit_cli::render_explanation(analysis);
    (void)opkit_cli::predict_notice(analysis, [](int variable) {
        // A host whose odd variables hold a number and even ones cannot be read.
        return variable % 2 != 0 ? opkit_cli::ReadAnswer{0, "12"} : opkit_cli::ReadAnswer{3, {}};
    });
    (void)opkit_cli::render_warnings(opkit_cli::record_warnings(analysis), "fuzz");
}

// A place reported for the input must lie in it: a line of the input and a column of that
// line, or one past its last character (where a missing word would go).
void check_place(const std::vector<size_t>& lines, int line, int column, const std::string& what) {
    const std::string where =
        what + " at line " + std::to_string(line) + ", column " + std::to_string(column);
    if (line < 1 || size_t(line) > lines.size()) {
        finding("place outside the input", where);
    }
    if (column < 1 || size_t(column) > lines[size_t(line) - 1] + 1) {
        finding("column outside its line", where);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<size_t> lines = line_lengths(text);
    explain(text.substr(0, text.find('\n')));
    try {
        const opkit_cli::Script script = opkit_cli::parse_script(text, "fuzz");
        for (const opkit_cli::Directive& d : script.directives) {
            if (const auto* call = std::get_if<opkit_cli::Call>(&d.action)) {
                explain(call->record);
            } else if (const auto* shown = std::get_if<opkit_cli::ExplainRecord>(&d.action)) {
                explain(shown->record);
            }
        }
    } catch (const opkit_cli::ScriptErrors& e) {
        if (e.errors().empty() || e.errors().size() > opkit_cli::max_script_errors) {
            finding("error count", std::to_string(e.errors().size()));
        }
        for (const opkit_cli::ScriptError& error : e.errors()) {
            check_place(lines, error.line(), error.column(), error.what());
        }
    } catch (const opkit_cli::ScriptError& e) {
        check_place(lines, e.line(), e.column(), e.what());
    } catch (const std::exception& e) {
        finding("error without a place", e.what());
    }
    const opkit_cli::LintResult table = opkit_cli::lint_table(std::string(text));
    for (const opkit_cli::LintFinding& f : table.findings) {
        check_place(lines, f.line, f.column, f.code + ": " + f.message);
    }
    return 0;
}
