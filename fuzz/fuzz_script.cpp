// libFuzzer target for opkit-host's untrusted inputs: the bytes are a host script, read by the
// script parser (which composes `call FUNCTION field=value` records on the way); every record
// the script calls, and the input's first line taken as a record, are then explained. No input
// may crash, hang or trip a sanitizer, and a rejected script must be rejected with a line and a
// column that lie inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "explain.h"
#include "script.h"

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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    explain(text.substr(0, text.find('\n')));
    try {
        const opkit_cli::Script script = opkit_cli::parse_script(text, "fuzz");
        for (const opkit_cli::Directive& d : script.directives) {
            if (d.verb == opkit_cli::Verb::call || d.verb == opkit_cli::Verb::explain) {
                explain(d.record);
            }
        }
    } catch (const opkit_cli::ScriptError& e) {
        const std::vector<size_t> lines = line_lengths(text);
        const std::string where = std::string(e.what()) + " at line " + std::to_string(e.line()) +
                                  ", column " + std::to_string(e.column());
        if (e.line() < 1 || size_t(e.line()) > lines.size()) {
            finding("error line outside the input", where);
        }
        // One past the line's last character is where a missing word would go.
        if (e.column() < 1 || size_t(e.column()) > lines[size_t(e.line()) - 1] + 1) {
            finding("error column outside its line", where);
        }
    } catch (const std::exception& e) {
        finding("error without a place", e.what());
    }
    return 0;
}
