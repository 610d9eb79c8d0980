// The pieces the subcommands share.
#include "app.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "files.h"
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
        throw Failure(std::string("opkit-host: cannot find the plug-in ") +
                          hostsim::plugin_file_name() + " beside this program (looked at " + tried +
                          "); build it, put it there or give --plugin PATH",
                      exit_error, "cannot find the plug-in");
    }
    return path;
}

SessionOptions session_options(const Globals& g, hostsim::ClockMode clock) {
    SessionOptions options;
    options.plugin_path = plugin_path(g);
    options.rows = g.rows;
    options.columns = g.columns;
    options.clock = clock;
    return options;
}

std::unique_ptr<Session> open_session(const Globals& g, hostsim::ClockMode clock) {
    const SessionOptions options = session_options(g, clock);
    auto session = std::make_unique<Session>(options);
    std::string error;
    if (!session->open(error)) {
        throw Failure("opkit-host: cannot load the plug-in: " + error, exit_error,
                      "cannot load the plug-in: " + error);
    }
    if (g.verbose) {
        std::cerr << "opkit-host: plug-in " << describe_plugin_file(options.plugin_path) << "\n";
    }
    return session;
}

void open_file(const std::string& file, const char* what, std::ifstream& in) {
    const std::string problem = open_stream(file, in);
    if (!problem.empty()) {
        throw Failure(file_label(file) + ": error: cannot read the " + what + ": " + problem);
    }
}

void read_file(const std::string& file, const char* what, std::string& text, size_t max_bytes) {
    std::ifstream opened;
    if (file != "-") {
        open_file(file, what, opened);
    }
    std::istream& in = file == "-" ? std::cin : opened;
    const std::string name = file_label(file);
    // Read in chunks, each line's length checked as it grows: a file without line ends, or
    // one without an end, is refused at its limit instead of filling the memory.
    char chunk[65536];
    size_t line_start = 0;
    int line = 1;
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        const size_t n = static_cast<size_t>(in.gcount());
        if (text.size() + n > max_bytes) {
            throw Failure(name + ": error: the " + what + " is larger than " +
                          std::to_string(max_bytes) + " bytes, the most that is read" +
                          (std::string(what) == "script"
                               ? " (run --stream reads a longer one a line at a time)"
                               : ""));
        }
        const size_t before = text.size();
        text.append(chunk, n);
        for (size_t i = before; i < text.size(); ++i) {
            if (text[i] == '\n') {
                line_start = i + 1;
                ++line;
            }
        }
        if (text.size() - line_start > max_line_bytes) {
            throw Failure(name + ":" + std::to_string(line) + ": error: the line is longer than " +
                          std::to_string(max_line_bytes) + " bytes, the most a " + what +
                          " line may hold; the " + what + " is not read");
        }
    }
    if (in.bad()) {
        throw Failure(name + ": error: cannot read the " + what + ": a read failed");
    }
}

void print_script_error(const std::string& name, std::optional<std::string_view> line,
                        const ScriptError& e) {
    std::cerr << name << ":" << e.line();
    if (e.column() > 0) {
        std::cerr << ":" << e.column();
    }
    std::cerr << ": error: " << e.what() << "\n";
    if (!line) {
        return;
    }
    // The line escaped as all input is shown, with a caret under the place: it moves with the
    // escapes before it (a byte is a column).
    char head[16];
    std::snprintf(head, sizeof head, "%5d | ", e.line());
    std::cerr << head << printable(*line) << "\n";
    if (e.column() > 0) {
        const size_t before = std::min(line->size(), static_cast<size_t>(e.column() - 1));
        std::cerr << "      | " << std::string(printable(line->substr(0, before)).size(), ' ')
                  << "^\n";
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
