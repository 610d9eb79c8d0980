// opkit-host: try, check and regression-test call records against the emulated host, driving
// the real plug-in through its exported `main`. Each subcommand lives in its own file.
#include <exception>
#include <iostream>
#include <new>

#include "app.h"
#include "output.h"
#include "render.h"

using namespace opkit_cli;

namespace {

void add_globals(CLI::App& app, Globals& g) {
    app.require_subcommand(1);
    // Global options are taken after the subcommand too: `opkit-host run --rows 16 x.txt`.
    app.fallthrough();
    // Paths start with '/' on every platform here: never read them as Windows-style options.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("opkit-host ") + tool_version(),
                         "print the version and exit");
    app.add_option("--plugin", g.plugin,
                   "the plug-in to load, a path relative to the current folder (default: the "
                   "one beside this program, else ../lib/opkit/, and no other)")
        ->type_name("FILE");
    app.add_flag("-v,--verbose", g.verbose, "say which plug-in file was loaded (path, size, time)");
    app.add_option("--rows", g.rows, "screen rows of the emulated terminal")
        ->check(CLI::Range(1, 200));
    app.add_option("--columns", g.columns, "screen columns of the emulated terminal")
        ->check(CLI::Range(1, 250));
    app.add_option("--color", g.color, "reverse video and colour: auto, always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    app.footer("\nExamples:\n  opkit-host run examples/demo.txt\n"
               "  opkit-host compose CMP_INT left=3 relation=GE right=4 mode=S\n"
               "  opkit-host explain \"29CMP_INT   03  GE   04       S\"\n"
               "  opkit-host call \"29CMP_INT   03  GE   04       S\" --set 3=12 --set 4=9\n"
               "  opkit-host lint examples/tables/records.tbl\n"
               "  opkit-host shell\n"
               "Each subcommand has its own --help.");
}

int run_command(int argc, char** argv) {
    CLI::App app{"opkit-host: run, call, explain and compose call records of the opkit plug-in\n"
                 "against an emulated terminal host."};
    Globals g;
    add_globals(app, g);
    const Command commands[] = {add_run_command(app, g),  add_call_command(app, g),
                                add_explain_command(app), add_compose_command(app),
                                add_lint_command(app),    add_shell_command(app, g)};
    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError& e) {
        // A word that is no subcommand leaves the subcommand missing: say which word it was.
        const std::vector<std::string> left = app.remaining();
        if (!left.empty() && app.get_subcommands().empty()) {
            std::cerr
                << "opkit-host: \"" << printable(left.front())
                << "\" is no subcommand; they are run, call, explain, compose, lint and shell (see "
                   "--help)\n";
            return exit_error;
        }
        return app.exit(e) == 0 ? exit_ok : exit_error;
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? exit_ok : exit_error;
    }
    allow_output_styles(use_ansi(g));
    for (const Command& command : commands) {
        if (const int status = command(); status >= 0) {
            return status;
        }
    }
    return exit_error;
}

} // namespace

int main(int argc, char** argv) {
    if (!install_output()) {
        return finish_output(exit_error);
    }
    int status = exit_error;
    // Whatever is thrown ends as a clear error with exit status 2, never as an abort.
    try {
        status = run_command(argc, argv);
    } catch (const Failure& failure) {
        report(failure);
        status = failure.status();
    } catch (const std::bad_alloc&) {
        std::cerr << "opkit-host: error: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "opkit-host: error: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "opkit-host: error: an unknown failure\n";
    }
    return finish_output(status);
}
