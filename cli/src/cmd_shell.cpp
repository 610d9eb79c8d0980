// opkit-host shell: the full-screen view of the emulated terminal on the real clock.
#include <iostream>

#include "app.h"
#include "shell.h"

namespace opkit_cli {

namespace {

constexpr const char* shell_footer = R"TXT(
The emulated terminal on the real clock. Type a record (it starts with its two
length digits) or a directive (call, message 5, set 3 "x", key esc, at +5s set 7 "x",
show trace, ...) and press Enter. While a function runs, keys go to the terminal:
Ctrl-A sends the abort key (256), Ctrl-T switches to the input line and back,
F10 or Ctrl-Q leaves.

Examples:
  opkit-host shell
  opkit-host --rows 16 --columns 32 shell
)TXT";

int command_shell(const Globals& g) {
    if (!shell_available()) {
        std::cerr
            << "opkit-host: this build has no full-screen view (it was built without curses)\n";
        return exit_error;
    }
    SessionOptions options;
    if (!session_options(g, hostsim::ClockMode::real_time, options)) {
        return exit_error;
    }
    return run_shell(options);
}

} // namespace

Command add_shell_command(CLI::App& app, const Globals& g) {
    CLI::App* shell = app.add_subcommand("shell", "full-screen view of the emulated terminal");
    shell->footer(shell_footer);
    return [shell, &g] { return shell->parsed() ? command_shell(g) : -1; };
}

} // namespace opkit_cli
