// The pieces that the subcommands of opkit-host share: the global options, the exit codes,
// opening a session with the plug-in, and the registration of each subcommand.
#pragma once

#include <CLI/CLI.hpp>

#include <fstream>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "failure.h"
#include "files.h"
#include "script.h"
#include "session.h"

namespace opkit_cli {

struct Globals {
    std::string plugin;
    int rows = hostsim::HostOptions{}.rows;
    int columns = hostsim::HostOptions{}.columns;
    std::string color = "auto";
    bool verbose = false; // says which plug-in file was loaded
};

// Whether the output gets reverse video and colour.
bool use_ansi(const Globals& g);

// Where the plug-in is, as the options say. Throws Failure, saying where it looked, when it is
// nowhere.
std::string plugin_path(const Globals& g);

// The session options the global options ask for, on the given clock. Throws Failure when no
// plug-in is found.
SessionOptions session_options(const Globals& g, hostsim::ClockMode clock);

// A session with the plug-in found as the options say. Throws Failure when there is none or it
// cannot be loaded.
std::unique_ptr<Session> open_session(const Globals& g, hostsim::ClockMode clock);

// The most of a script that `run` reads whole (without --stream), and of a table for `lint`.
constexpr size_t max_script_bytes = size_t{256} << 20;
constexpr size_t max_table_bytes = size_t{64} << 20;

// Reads a whole file into `text` ("-": standard input). Throws Failure saying why it cannot be
// read (`what` names the file's role: "script", "table"): it cannot be opened, a read failed,
// it is larger than `max_bytes`, or one of its lines is longer than max_line_bytes.
void read_file(const std::string& file, const char* what, std::string& text, size_t max_bytes);
// Opens a file to be read as it is needed. Throws Failure saying why it cannot be.
void open_file(const std::string& file, const char* what, std::ifstream& in);

// Prints a script error with the line it is in and a caret under its column.
void print_script_error(const std::string& name, const std::string& text, const ScriptError& e);
// The same with the line given (none: the error alone).
void print_script_error(const std::string& name, std::optional<std::string_view> line,
                        const ScriptError& e);

// Each subcommand adds itself to the app; the command it returns runs it when it was given
// (and answers -1 when it was not).
using Command = std::function<int()>;
Command add_run_command(CLI::App& app, const Globals& g);
Command add_call_command(CLI::App& app, const Globals& g);
Command add_explain_command(CLI::App& app);
Command add_compose_command(CLI::App& app);
Command add_lint_command(CLI::App& app);
Command add_shell_command(CLI::App& app, const Globals& g);

} // namespace opkit_cli
