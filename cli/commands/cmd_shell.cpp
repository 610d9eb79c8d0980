// opkit-host shell: the full-screen view of the emulated terminal on the real clock.
#include <iostream>
#include <memory>
#include <string>

#include "app.h"
#include "shell.h"

#if defined(_WIN32)
#include <io.h>
#define OPKIT_ISATTY _isatty
#else
#include <unistd.h>
#define OPKIT_ISATTY isatty
#endif

namespace opkit_cli {

namespace {

constexpr const char* shell_footer = R"TXT(
The emulated terminal on the real clock. Type a record (it starts with its two
length digits) or a directive (call, message 5, set 3 "x", key esc, at +5s set 7 "x",
show trace, ...) and press Enter. While a function runs, keys go to the terminal:
Ctrl-A sends the abort key (256), Ctrl-T switches to the input line and back,
F10 or Ctrl-Q leaves. With --record FILE the session is written to FILE as a
script when the view ends: each call with its clock and result, keys and
variables typed during a call as timed events, and the final user variables and
screen as expectations; `opkit-host run FILE` replays it.

Examples:
  opkit-host shell
  opkit-host --rows 16 --columns 32 shell
  opkit-host shell --record session.txt
)TXT";

int command_shell(const Globals& g, const std::string& record_path) {
    if (!shell_available()) {
        throw Failure(
            "opkit-host: this build has no full-screen view (it was built without curses)");
    }
    const SessionOptions options = session_options(g, hostsim::ClockMode::real_time);
    if (!record_path.empty()) {
        check_recording_path(record_path, options);
    }
    // Without a terminal on both sides the view could neither read keys nor be seen.
    if (OPKIT_ISATTY(0) == 0 || OPKIT_ISATTY(1) == 0) {
        throw Failure("opkit-host: shell needs a terminal (its standard input and output must be "
                      "one); run replays scripts without one");
    }
    return run_shell(options, record_path);
}

} // namespace

Command add_shell_command(CLI::App& app, const Globals& g) {
    CLI::App* shell = app.add_subcommand(
        "shell", shell_available() ? "full-screen view of the emulated terminal"
                                   : "full-screen view of the emulated terminal (not in this "
                                     "build, which was made without curses)");
    shell->footer(shell_footer);
    auto record_path = std::make_shared<std::string>();
    shell
        ->add_option("--record", *record_path,
                     "write the session to this file as a script that run replays")
        ->type_name("FILE");
    return
        [shell, &g, record_path] { return shell->parsed() ? command_shell(g, *record_path) : -1; };
}

} // namespace opkit_cli
