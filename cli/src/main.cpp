// opkit-host: try, check and regression-test call records against the emulated host, driving
// the real plug-in through its exported `main`.
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#define OPKIT_ISATTY _isatty
#define OPKIT_FILENO _fileno
#else
#include <unistd.h>
#define OPKIT_ISATTY isatty
#define OPKIT_FILENO fileno
#endif

#include "compose.h"
#include "explain.h"
#include "render.h"
#include "runner.h"
#include "script.h"
#include "session.h"
#include "shell.h"

namespace {

using namespace opkit_cli;

constexpr int exit_ok = 0;
constexpr int exit_failed = 1; // expectations failed, or explain found a notice
constexpr int exit_error = 2;  // bad input, missing file, plug-in not loadable
constexpr int exit_hung = 3;   // a call did not return

struct Globals {
    std::string plugin;
    int rows = hostsim::HostOptions{}.rows;
    int columns = hostsim::HostOptions{}.columns;
    std::string color = "auto";
};

bool use_ansi(const Globals& g) {
    if (g.color == "always") {
        return true;
    }
    if (g.color == "never") {
        return false;
    }
    return OPKIT_ISATTY(OPKIT_FILENO(stdout)) != 0 && std::getenv("NO_COLOR") == nullptr;
}

// Opens a session with the plug-in found as the options say; prints why when it cannot.
bool open_session(const Globals& g, hostsim::ClockMode clock, std::unique_ptr<Session>& session) {
    std::string tried;
    const std::string path = locate_plugin(g.plugin, tried);
    if (path.empty()) {
        std::cerr << "opkit-host: cannot find the plug-in " << hostsim::plugin_file_name()
                  << " (looked at " << tried << "); build it or give --plugin PATH\n";
        return false;
    }
    SessionOptions options;
    options.plugin_path = path;
    options.rows = g.rows;
    options.columns = g.columns;
    options.clock = clock;
    session = std::make_unique<Session>(options);
    std::string error;
    if (!session->open(error)) {
        std::cerr << "opkit-host: cannot load the plug-in: " << error << "\n";
        return false;
    }
    return true;
}

void print_script_error(const std::string& name, const std::string& text, const ScriptError& e) {
    std::cerr << name << ":" << e.line();
    if (e.column() > 0) {
        std::cerr << ":" << e.column();
    }
    std::cerr << ": error: " << e.what() << "\n";
    // Show the line with a caret under the place.
    std::istringstream lines(text);
    std::string line;
    for (int n = 1; std::getline(lines, line); ++n) {
        if (n == e.line()) {
            char head[16];
            std::snprintf(head, sizeof head, "%5d | ", n);
            std::cerr << head << line << "\n";
            if (e.column() > 0) {
                std::cerr << "      | " << std::string(static_cast<size_t>(e.column() - 1), ' ')
                          << "^\n";
            }
            break;
        }
    }
}

// Ends the process when one call runs longer than the limit: a wait that nothing ends would
// otherwise hang a test run.
class Watchdog {
  public:
    explicit Watchdog(int seconds) : seconds_(seconds) {
        if (seconds_ > 0) {
            thread_ = std::thread([this] { watch(); });
        }
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void start(const std::string& where) {
        std::lock_guard<std::mutex> lock(mutex_);
        where_ = where;
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
        running_ = true;
        wake_.notify_all();
    }
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
    }

  private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            if (!running_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && running_ &&
                !done_ && std::chrono::steady_clock::now() >= deadline_) {
                std::cout.flush();
                std::cerr << where_ << ": error: the call did not return within " << seconds_
                          << " s (a wait that no key, variable or stop ends?); giving up\n";
                std::cerr.flush();
                std::_Exit(exit_hung);
            }
        }
    }

    int seconds_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::string where_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
    bool done_ = false;
};

int command_run(const Globals& g, const std::vector<std::string>& files, RunOptions options,
                int timeout) {
    // Parse every script first, so that a typo is reported before anything runs.
    std::vector<Script> scripts;
    bool bad = false;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << file << ": error: cannot read the script\n";
            bad = true;
            continue;
        }
        std::stringstream text;
        text << in.rdbuf();
        try {
            scripts.push_back(parse_script(text.str(), file));
        } catch (const ScriptError& e) {
            print_script_error(file, text.str(), e);
            bad = true;
        }
    }
    if (bad) {
        return exit_error;
    }
    options.ansi = options.ansi && !options.quiet;
    int total_expectations = 0;
    int total_failures = 0;
    int failed_scripts = 0;
    Watchdog watchdog(timeout);
    for (const Script& script : scripts) {
        std::unique_ptr<Session> session;
        if (!open_session(g, hostsim::ClockMode::virtual_time, session)) {
            return exit_error;
        }
        Runner runner(*session, std::cout, options);
        int line = 0;
        runner.on_call_start = [&](const std::string& what) {
            watchdog.start(script.name + ":" + std::to_string(line) + ": " + what);
        };
        runner.on_call_end = [&] { watchdog.stop(); };
        if (!options.quiet) {
            std::cout << "== " << script.name << "\n";
        }
        try {
            for (const Directive& d : script.directives) {
                line = d.line;
                runner.execute(d, script.name);
            }
        } catch (const std::exception& e) {
            std::cerr << script.name << ":" << line << ": error: " << e.what() << "\n";
            return exit_error;
        }
        const ScriptTotals& t = runner.totals();
        total_expectations += t.expectations;
        total_failures += t.failures;
        if (t.failures > 0) {
            ++failed_scripts;
        }
        std::cout << script.name << ": " << t.calls << (t.calls == 1 ? " call, " : " calls, ");
        if (t.failures == 0) {
            std::cout << t.expectations << (t.expectations == 1 ? " expectation" : " expectations")
                      << " passed";
        } else {
            std::cout << t.failures << " of " << t.expectations << " expectations FAILED";
        }
        std::cout << "\n";
        if (!options.quiet && &script != &scripts.back()) {
            std::cout << "\n";
        }
    }
    if (scripts.size() > 1) {
        if (total_failures == 0) {
            std::cout << "all " << scripts.size() << " scripts passed (" << total_expectations
                      << " expectations)\n";
        } else {
            std::cout << "FAILED: " << total_failures << " of " << total_expectations
                      << " expectations in " << failed_scripts << " of " << scripts.size()
                      << " scripts\n";
        }
    }
    return total_failures == 0 ? exit_ok : exit_failed;
}

struct CallOptions {
    std::vector<std::string> sets;
    std::vector<int> unreadable;
    std::vector<std::string> keys;
    std::string clock;
    bool trace = false;
};

int command_call(const Globals& g, const std::vector<std::string>& records, const CallOptions& o) {
    std::unique_ptr<Session> session;
    if (!open_session(g, hostsim::ClockMode::virtual_time, session)) {
        return exit_error;
    }
    hostsim::Host& host = session->host();
    // The host's state before the call, given in script form so that the errors read alike.
    std::vector<std::string> lines;
    for (const std::string& s : o.sets) {
        const size_t eq = s.find('=');
        if (eq == std::string::npos) {
            std::cerr << "opkit-host: --set " << s
                      << ": write NUMBER=TEXT, for example --set 3=abc\n";
            return exit_error;
        }
        lines.push_back("set " + s.substr(0, eq) + " " + quote_record(s.substr(eq + 1)));
    }
    for (const int v : o.unreadable) {
        lines.push_back("unreadable " + std::to_string(v));
    }
    for (const std::string& k : o.keys) {
        lines.push_back("key " + k);
    }
    if (!o.clock.empty()) {
        lines.push_back("clock " + quote_record(o.clock));
    }
    const bool ansi = use_ansi(g);
    std::ostringstream quiet;
    Runner runner(*session, quiet, RunOptions{false, false, ansi});
    for (const std::string& text : lines) {
        try {
            if (const auto d = parse_line(text, 0)) {
                runner.execute(*d, "opkit-host");
            }
        } catch (const ScriptError& e) {
            std::cerr << "opkit-host: " << text << ": " << e.what() << "\n";
            return exit_error;
        }
    }
    for (const std::string& record : records) {
        const CallReport report = runner.call(record);
        const Analysis a = analyse(record);
        std::cout << (a.layout != nullptr ? a.layout->name : "unknown") << " "
                  << quote_record(record) << " => result " << report.result << "\n";
        if (!report.notice.empty()) {
            std::cout << "notice " << report.notice
                      << (report.auto_key ? " (the key it waits for was pressed: Enter)" : "")
                      << "\n";
        }
        if (report.stalls > 0) {
            std::cout << "the call waited for a key with none queued: the host pressed Enter\n";
        }
        if (o.trace) {
            for (const std::string& line : render_trace(host.trace())) {
                std::cout << "  " << line << "\n";
            }
        }
        if (report.changes.empty()) {
            std::cout << "user variables: no change\n";
        } else {
            for (const std::string& change : report.changes) {
                std::cout << change << "\n";
            }
        }
    }
    std::cout << render_screen(take_picture(host), ansi);
    return exit_ok;
}

int command_explain(const std::vector<std::string>& records) {
    bool notice = false;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i > 0) {
            std::cout << "\n";
        }
        const Analysis a = analyse(records[i]);
        std::cout << render_explanation(a);
        notice = notice || !a.notice.empty();
    }
    return notice ? exit_failed : exit_ok;
}

int command_compose(const std::string& function, const std::vector<std::string>& fields,
                    bool quoted_out) {
    const opkit::Layout* layout = find_layout(function);
    if (layout == nullptr) {
        std::cerr << "opkit-host compose: no function is called \"" << function << "\"; "
                  << compose_functions_help() << "\n";
        return exit_error;
    }
    if (fields.empty()) {
        std::cout << compose_fields_help(*layout);
        return exit_ok;
    }
    std::vector<FieldAssignment> assignments;
    try {
        for (size_t i = 0; i < fields.size(); ++i) {
            assignments.push_back(parse_assignment(fields[i], static_cast<int>(i)));
        }
        const Composed c = compose_record(function, assignments);
        for (const std::string& note : c.notes) {
            std::cerr << "opkit-host compose: note: " << note << "\n";
        }
        std::cout << (quoted_out ? quote_record(c.record) : c.record) << "\n";
    } catch (const ComposeError& e) {
        std::cerr << "opkit-host compose: " << e.what() << "\n" << compose_fields_help(*layout);
        return exit_error;
    }
    return exit_ok;
}

const char* run_footer = R"TXT(
A script holds one directive a line; # starts a comment. Records are written in
double quotes ("\x41" escapes allowed) or built from fields:
  call "21DICOUNT I         05"          call DICOUNT operation=I counter=5
  message 5                              set 3 "hello"     unreadable 4
  key enter | key 27 | key "abc"         key abort (256)
  clock 2026-05-12 14:30:05              advance 1m30s
  at +5s set 7 "scanned"                 at +2s key abort    at +1s stop
  expect result 1                        expect var 3 "2"
  expect screen 2 "+----------------------+"                expect screen 0:9 "C4"
  expect notice C4 | append | none       expect keys 0
  expect transaction off                 expect cursor 5 10
  expect attribute 1:2 1 24              expect clock 2026-05-12 14:30:10
  show screen [0-7] | vars | trace | clock | keys
  echo "text"     write 3 0 "Item:"      clear     reload     explain "<record>"
Scripts run on a virtual clock: waits cost no time. When a notice waits for a key
and none is queued, the runner presses Enter for it and says so.
Exit status: 0 all expectations passed, 1 some failed, 2 a script or the plug-in
could not be read, 3 a call did not return.

Examples:
  opkit-host run examples/demo.txt
  opkit-host run -q examples/*.txt
)TXT";

const char* call_footer = R"TXT(
Prints the result, any notice, the user variables that changed and the screen.

Examples:
  opkit-host call "29CMP_INT   03  GE   04       S" --set 3=12 --set 4=9
  opkit-host call "$(opkit-host compose INTMATH left=2 operator=+ right=3)" --set 2=40 --set 3=2
  opkit-host call "21DICOUNT I         05" "32DICOUNT S         05         03"
)TXT";

const char* explain_footer = R"TXT(
Shows the record under a column ruler (# length digits, = name, a letter per
field, . for a field this call does not read), each field's columns, characters,
value and meaning, and the checks the function makes in its order, up to the
notice the record leads to. Exit status 1 when it leads to a notice.

Examples:
  opkit-host explain "29CMP_INT   03  GE   04       S"
  opkit-host explain "$(opkit-host compose TM_DATE hours=24 time_variable=4 style=EURO date_variable=5)"
)TXT";

const char* compose_footer = R"TXT(
Prints the record (length digits included). Without fields, lists the function's
fields and the values each takes.

Examples:
  opkit-host compose CMP_INT left=3 relation=GE right=4 mode=S
  opkit-host compose DICOUNT operation=store counter=5 variable=3
  opkit-host compose POPUPWN
)TXT";

const char* shell_footer = R"TXT(
The emulated terminal on the real clock. Type a record (it starts with its two
length digits) or a directive (call, message 5, set 3 "x", key esc, at +5s set 7 "x",
show trace, ...) and press Enter. While a function runs, keys go to the terminal:
Ctrl-A sends the abort key (256), Ctrl-T switches to the input line and back,
F10 or Ctrl-Q leaves.

Examples:
  opkit-host shell
  opkit-host --rows 16 --columns 32 shell
)TXT";

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"opkit-host: run, call, explain and compose call records of the opkit plug-in\n"
                 "against an emulated terminal host."};
    app.require_subcommand(1);
    // Paths start with '/' on every platform here: never read them as Windows-style options.
    app.allow_windows_style_options(false);
    Globals g;
    app.add_option("--plugin", g.plugin,
                   "the plug-in to load (default: the one beside this program)");
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
               "  opkit-host shell\n"
               "Each subcommand has its own --help.");

    std::vector<std::string> files;
    RunOptions run_options;
    int timeout = 60;
    CLI::App* run = app.add_subcommand("run", "run host scripts and check their expectations");
    run->add_option("scripts", files, "script files")->required();
    run->add_flag("-v,--verbose", run_options.verbose,
                  "also print passing expectations and host directives");
    run->add_flag("-q,--quiet", run_options.quiet,
                  "print only failures, shown output and the summary");
    run->add_option("--timeout", timeout,
                    "give up when one call runs longer than this many seconds (0: never)")
        ->check(CLI::NonNegativeNumber);
    run->footer(run_footer);

    std::vector<std::string> records;
    CallOptions call_options;
    CLI::App* call =
        app.add_subcommand("call", "make calls and show the result, variables and screen");
    call->add_option("records", records, "call records, run in turn")->required();
    call->add_option("--set", call_options.sets, "a user variable before the call: NUMBER=TEXT");
    call->add_option("--unreadable", call_options.unreadable,
                     "a user variable the host cannot read")
        ->check(CLI::Range(1, 99));
    call->add_option("--key", call_options.keys,
                     "a key queued before the call (13, enter, esc, abort, ...)");
    call->add_option("--clock", call_options.clock, "the clock: \"YYYY-MM-DD HH:MM:SS\"");
    call->add_flag("--trace", call_options.trace, "print the host services each call asked for");
    call->footer(call_footer);

    std::vector<std::string> explain_records;
    CLI::App* explain = app.add_subcommand("explain", "decode records without running them");
    explain->add_option("records", explain_records, "call records")->required();
    explain->footer(explain_footer);

    std::string function;
    std::vector<std::string> fields;
    bool quoted_out = false;
    CLI::App* compose = app.add_subcommand("compose", "build a record from named fields");
    compose
        ->add_option("function", function,
                     "DICOUNT, POPUPWN, COMPARE, CMP_INT, INTMATH, CHKUNIQ, TM_DATE, "
                     "TRANMSG, V_DELAY or WAIT_UV")
        ->required();
    compose->add_option("fields", fields, "field=value ...");
    compose->add_flag("--quoted", quoted_out,
                      "print the record in double quotes, as a script writes it");
    compose->footer(compose_footer);

    CLI::App* shell = app.add_subcommand("shell", "full-screen view of the emulated terminal");
    shell->footer(shell_footer);

    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError& e) {
        // A word that is no subcommand leaves the subcommand missing: say which word it was.
        const std::vector<std::string> left = app.remaining();
        if (!left.empty() && app.get_subcommands().empty()) {
            std::cerr << "opkit-host: \"" << left.front()
                      << "\" is no subcommand; they are run, call, explain, compose and shell (see "
                         "--help)\n";
            return exit_error;
        }
        return app.exit(e) == 0 ? exit_ok : exit_error;
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? exit_ok : exit_error;
    }

    if (run->parsed()) {
        run_options.ansi = use_ansi(g);
        return command_run(g, files, run_options, timeout);
    }
    if (call->parsed()) {
        return command_call(g, records, call_options);
    }
    if (explain->parsed()) {
        return command_explain(explain_records);
    }
    if (compose->parsed()) {
        return command_compose(function, fields, quoted_out);
    }
    if (shell->parsed()) {
        if (!shell_available()) {
            std::cerr
                << "opkit-host: this build has no full-screen view (it was built without curses)\n";
            return exit_error;
        }
        std::string tried;
        const std::string path = locate_plugin(g.plugin, tried);
        if (path.empty()) {
            std::cerr << "opkit-host: cannot find the plug-in " << hostsim::plugin_file_name()
                      << " (looked at " << tried << "); build it or give --plugin PATH\n";
            return exit_error;
        }
        SessionOptions options;
        options.plugin_path = path;
        options.rows = g.rows;
        options.columns = g.columns;
        options.clock = hostsim::ClockMode::real_time;
        return run_shell(options);
    }
    return exit_error;
}
