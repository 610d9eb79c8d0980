// The pieces the subcommands share.
#include "app.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "locate.h"
#include "render.h"

#if defined(_WIN32)
#include <io.h>
#define OPKIT_ISATTY _isatty
#define OPKIT_FILENO _fileno
#else
#include <unistd.h>
#define OPKIT_ISATTY isatty
#define OPKIT_FILENO fileno
#endif

namespace opkit_cli {

bool use_ansi(const Globals& g) {
    if (g.color == "always") {
        return true;
    }
    if (g.color == "never") {
        return false;
    }
    return OPKIT_ISATTY(OPKIT_FILENO(stdout)) != 0 && std::getenv("NO_COLOR") == nullptr;
}

std::string plugin_path(const Globals& g) {
    std::string tried;
    const std::string path = locate_plugin(g.plugin, tried);
    if (path.empty()) {
        std::cerr << "opkit-host: cannot find the plug-in " << hostsim::plugin_file_name()
                  << " beside this program (looked at " << tried
                  << "); build it, put it there or give --plugin PATH\n";
    }
    return path;
}

bool session_options(const Globals& g, hostsim::ClockMode clock, SessionOptions& options) {
    options.plugin_path = plugin_path(g);
    options.rows = g.rows;
    options.columns = g.columns;
    options.clock = clock;
    return !options.plugin_path.empty();
}

bool open_session(const Globals& g, hostsim::ClockMode clock, std::unique_ptr<Session>& session) {
    SessionOptions options;
    if (!session_options(g, clock, options)) {
        return false;
    }
    session = std::make_unique<Session>(options);
    std::string error;
    if (!session->open(error)) {
        std::cerr << "opkit-host: cannot load the plug-in: " << error << "\n";
        return false;
    }
    if (g.verbose) {
        std::cerr << "opkit-host: plug-in " << describe_plugin_file(options.plugin_path) << "\n";
    }
    return true;
}

void read_all(std::istream& in, std::string& text) {
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
    }
}

bool open_file(const std::string& file, const char* what, std::ifstream& in) {
    const std::string problem = open_stream(file, in);
    if (!problem.empty()) {
        std::cerr << file << ": error: cannot read the " << what << ": " << problem << "\n";
        return false;
    }
    return true;
}

bool read_file(const std::string& file, const char* what, std::string& text) {
    if (file == "-") {
        read_all(std::cin, text);
        return true;
    }
    std::ifstream in;
    if (!open_file(file, what, in)) {
        return false;
    }
    // Sized once from the file's size, so that growing the text never holds two copies.
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!error) {
        text.reserve(static_cast<size_t>(size));
    }
    read_all(in, text);
    if (in.bad()) {
        std::cerr << file << ": error: cannot read the " << what << ": a read failed\n";
        return false;
    }
    return true;
}

namespace {

// Control bytes (but the line feed of a message of several lines) and bytes above 0x7E written
// as \xHH, as call lines write them, so that an excerpt of binary input cannot move the cursor,
// erase or recolour the terminal, and the caret stays under its column (a byte is a column).
// `column` (1-based, 0 for none) moves with the text before it.
std::string escape_controls(const std::string& text, int& column) {
    std::string out;
    const int original = column;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if ((u < 0x20 && u != '\n') || u >= 0x7f) {
            out += shown_byte(text[i]);
            if (original > 0 && static_cast<int>(i) < original - 1) {
                column += 3;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

void print_script_error(const std::string& name, std::optional<std::string_view> line,
                        const ScriptError& e) {
    std::cerr << name << ":" << e.line();
    if (e.column() > 0) {
        std::cerr << ":" << e.column();
    }
    int no_column = 0;
    std::cerr << ": error: " << escape_controls(e.what(), no_column) << "\n";
    if (!line) {
        return;
    }
    // The line with a caret under the place.
    char head[16];
    std::snprintf(head, sizeof head, "%5d | ", e.line());
    int column = e.column();
    std::cerr << head << escape_controls(std::string(*line), column) << "\n";
    if (column > 0) {
        std::cerr << "      | " << std::string(static_cast<size_t>(column - 1), ' ') << "^\n";
    }
}

void print_script_error(const std::string& name, const std::string& text, const ScriptError& e) {
    // The line is found in the text itself, not a copy: a script may be tens of megabytes.
    size_t start = 0;
    for (int n = 1; n < e.line() && start != std::string::npos; ++n) {
        start = text.find('\n', start);
        start = start == std::string::npos ? start : start + 1;
    }
    std::optional<std::string_view> line;
    if (e.line() >= 1 && start != std::string::npos && start <= text.size()) {
        const size_t end = text.find('\n', start);
        line = std::string_view(text).substr(start, end == std::string::npos ? end : end - start);
    }
    print_script_error(name, line, e);
}

} // namespace opkit_cli
