// opkit-host run: host scripts against the emulated host, with their expectations checked.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

#include "app.h"
#include "run_outputs.h"
#include "runner.h"

namespace opkit_cli {

namespace {

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

struct RunArgs {
    std::vector<std::string> files;
    RunOptions options;
    int timeout = 60;
    bool allow_empty = false;
    RunOutputOptions outputs;
};

// Reads a script's text, all that is kept of it: its directives are parsed again, one line at
// a time, as it runs. "-" is standard input.
bool read_script_text(const std::string& file, std::string& text) {
    if (file == "-") {
        read_all(std::cin, text);
        return true;
    }
    return read_file(file, "script", text);
}

// A script as `run` keeps it: its name, its text and the screen it was checked against.
struct ScriptText {
    std::string name;
    std::string text;
    ScreenSize screen;
};

// Reads and checks every script first, so that a typo is reported before anything runs; of a
// script only its text is kept.
bool read_scripts(const std::vector<std::string>& files, bool allow_empty, ScreenSize screen,
                  std::vector<ScriptText>& scripts) {
    bool bad = false;
    for (const std::string& file : files) {
        ScriptText script{file == "-" ? "(standard input)" : file, {}, screen};
        if (!read_script_text(file, script.text)) {
            bad = true;
            continue;
        }
        const std::string& text = script.text;
        bool makes_a_call = false;
        try {
            for_each_directive(text, screen, [&](Directive&& d) {
                makes_a_call = makes_a_call || std::holds_alternative<Call>(d.action) ||
                               std::holds_alternative<Message>(d.action);
            });
        } catch (const ScriptErrors& e) {
            for (const ScriptError& error : e.errors()) {
                print_script_error(file, text, error);
            }
            if (e.more()) {
                std::cerr << file << ": error: more errors follow; the first " << max_script_errors
                          << " are shown\n";
            }
            bad = true;
            continue;
        }
        if (!allow_empty && !makes_a_call) {
            std::cerr << file
                      << ": error: the script makes no call (--allow-empty runs it "
                         "all the same)\n";
            bad = true;
            continue;
        }
        scripts.push_back(std::move(script));
    }
    return !bad;
}

// Runs one script on a fresh session and prints its line of totals; false when it could not
// run to its end.
bool run_script(const Globals& g, const ScriptText& script, const RunOptions& options,
                Watchdog& watchdog, ScriptTotals& totals, RunOutputs& outputs, bool& warned) {
    std::unique_ptr<Session> session;
    if (!open_session(g, hostsim::ClockMode::virtual_time, session)) {
        return false;
    }
    std::ostream& out = outputs.stream();
    outputs.begin_script(script.name);
    Runner runner(*session, out, options);
    runner.on_expectation = [&](const Directive& d, const std::optional<std::string>& failure) {
        outputs.expectation(d, failure, session->host());
    };
    runner.check_screen_file = [&](const Directive& d, const ExpectScreenFile& file) {
        return outputs.screen_file(d, file, session->host());
    };
    int line = 0;
    runner.on_call_start = [&](const std::string& what) {
        watchdog.start(script.name + ":" + std::to_string(line) + ": " + what);
    };
    runner.on_call_end = [&] { watchdog.stop(); };
    if (!options.quiet) {
        out << "== " << script.name << "\n";
        out << "plug-in " << describe_plugin_file(session->options().plugin_path) << "\n";
    }
    try {
        for_each_directive(script.text, script.screen, [&](Directive&& d) {
            line = d.line;
            outputs.before(d);
            runner.execute(d, script.name);
            outputs.after();
        });
    } catch (const std::exception& e) {
        std::cerr << script.name << ":" << line << ": error: " << e.what() << "\n";
        outputs.script_error(e.what());
        outputs.finish();
        return false;
    }
    warned = outputs.end_script(session->host());
    totals = runner.totals();
    out << script.name << ": " << totals.calls << (totals.calls == 1 ? " call, " : " calls, ");
    if (totals.failures == 0) {
        out << totals.expectations << (totals.expectations == 1 ? " expectation" : " expectations")
            << " passed\n";
    } else {
        out << totals.failures << " of " << totals.expectations << " expectations FAILED\n";
    }
    outputs.after();
    return true;
}

int command_run(const Globals& g, RunArgs& args) {
    std::vector<ScriptText> scripts;
    if (!read_scripts(args.files, args.allow_empty, ScreenSize{g.rows, g.columns}, scripts)) {
        return exit_error;
    }
    // A JUnit report that could not be written is found out before anything runs, not after.
    if (!args.outputs.junit.empty() && !std::ofstream(args.outputs.junit, std::ios::binary)) {
        std::cerr << args.outputs.junit
                  << ": error: cannot write the JUnit report: " << std::strerror(errno) << "\n";
        return exit_error;
    }
    RunOptions& options = args.options;
    options.ansi = use_ansi(g) && !options.quiet;
    ScriptTotals all;
    int failed_scripts = 0;
    int warned_scripts = 0; // failed for their warnings under --strict
    Watchdog watchdog(args.timeout);
    args.outputs.quiet = options.quiet;
    RunOutputs outputs(args.outputs);
    std::ostream& out = outputs.stream();
    for (const ScriptText& script : scripts) {
        ScriptTotals t;
        bool warned = false;
        if (!run_script(g, script, options, watchdog, t, outputs, warned)) {
            return exit_error;
        }
        all.expectations += t.expectations;
        all.failures += t.failures;
        failed_scripts += t.failures > 0 || warned ? 1 : 0;
        warned_scripts += warned ? 1 : 0;
        if (!options.quiet && &script != &scripts.back()) {
            out << "\n";
        }
    }
    const bool passed = all.failures == 0 && warned_scripts == 0;
    if (scripts.size() > 1 && passed) {
        out << "all " << scripts.size() << " scripts passed (" << all.expectations
            << " expectations)\n";
    } else if (scripts.size() > 1) {
        out << "FAILED: " << all.failures << " of " << all.expectations << " expectations in "
            << failed_scripts << " of " << scripts.size() << " scripts"
            << (warned_scripts > 0
                    ? " (warnings under --strict in " + std::to_string(warned_scripts) + ")\n"
                    : "\n");
    }
    if (!outputs.finish()) {
        return exit_error;
    }
    return passed ? exit_ok : exit_failed;
}

constexpr const char* run_footer = R"TXT(
A script holds one directive a line; # starts a comment. Records are written in
double quotes ("\x41" escapes allowed) or built from fields:
  call "21DICOUNT I         05"          call DICOUNT operation=I counter=5
  message 5                              set 3 "hello"     unreadable 4
  key enter | key 27 | key "abc"         key abort (256)
  clock 2026-05-12 14:30:05              advance 1m30s
  at +5s set 7 "scanned"                 at +2s key abort    at +1s stop
  expect result 1                        expect var 3 "2"
  expect screen 2 "+----------------------+"                expect screen 0:9 "C4"
  expect screen "form.screen" [attributes]   (a stored picture; --update-screens)
  expect notice C4 | append | none       expect keys 0
  expect transaction off                 expect cursor 5 10
  expect attribute 1:2 1 24              expect clock 2026-05-12 14:30:10
  show screen [0-7] | vars | trace | clock | keys
  echo "text"     write 3 0 "Item:"      clear     reload     explain "<record>"
Scripts run on a virtual clock: waits cost no time. When a notice waits for a key
and none is queued, the runner presses Enter for it and says so.
A script that makes no call (an empty one too) is an error unless --allow-empty.
A call whose record holds text in columns no field reads, length digits that
disagree with its length, or a field past its end gets a warning, and so do
scheduled events still pending when a script ends; --strict makes them fail.
Exit status: 0 all expectations passed, 1 some failed, 2 a script or the plug-in
could not be read, 3 a call did not return.

Examples:
  opkit-host run examples/demo.txt
  opkit-host run -q examples/*.txt
  opkit-host run --junit results.xml --trace-on-failure examples/*.txt
)TXT";

void add_run_output_flags(CLI::App& run, RunOutputOptions& o) {
    run.add_flag("--strict", o.strict, "record warnings and pending events fail the script");
    run.add_flag("--trace-on-failure", o.trace_on_failure,
                 "print the host calls of the call behind each failed expectation");
    run.add_flag("--tap", o.tap, "print the results as TAP (other output as # comments)");
    run.add_flag("--update-screens", o.update_screens,
                 "write the screen files of expect screen FILE that are missing or differ");
    run.add_option("--junit", o.junit,
                   "write JUnit XML to FILE: a test case per expectation, with file and line");
}

} // namespace

Command add_run_command(CLI::App& app, const Globals& g) {
    auto args = std::make_shared<RunArgs>();
    CLI::App* run = app.add_subcommand("run", "run host scripts and check their expectations");
    run->add_option("scripts", args->files, "script files; - reads one from standard input")
        ->required();
    CLI::Option* verbose = run->add_flag("-v,--verbose", args->options.verbose,
                                         "also print passing expectations and host directives");
    run->add_flag("-q,--quiet", args->options.quiet,
                  "print only failures, shown output and the summary (not with -v)")
        ->excludes(verbose);
    add_run_output_flags(*run, args->outputs);
    run->add_flag("--allow-empty", args->allow_empty,
                  "accept a script that makes no call (an empty one passes)");
    run->add_option("--timeout", args->timeout,
                    "give up when one call runs longer than this many seconds (0: never)")
        ->check(CLI::NonNegativeNumber);
    run->footer(run_footer);
    return [run, args, &g] { return run->parsed() ? command_run(g, *args) : -1; };
}

} // namespace opkit_cli
