// opkit-host run: host scripts against the emulated host, with their expectations checked.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#define OPKIT_READ _read
#else
#include <unistd.h>
#define OPKIT_READ read
#endif

#include "app.h"
#include "files.h"
#include "locate.h"
#include "output.h"
#include "render.h"
#include "report_html.h"
#include "run_outputs.h"
#include "runner.h"

namespace opkit_cli {

namespace {

// Ends the process when one call runs longer than the limit: a wait that nothing ends would
// otherwise hang a test run.
class Watchdog {
  public:
    using OnHang = std::function<void(const std::string& message)>;
    Watchdog(int seconds, OnHang on_hang) : seconds_(seconds), on_hang_(std::move(on_hang)) {
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
                const std::string message =
                    "the call did not return within " + std::to_string(seconds_) +
                    " s (a wait that no key, variable or stop ends?); giving up";
                std::cout.flush();
                std::cerr << where_ << ": error: " << message << "\n";
                std::cerr.flush();
                if (on_hang_) {
                    on_hang_(where_ + ": " + message);
                }
                std::_Exit(finish_output(exit_hung));
            }
        }
    }

    int seconds_;
    OnHang on_hang_;
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
    bool stream = false;
    RunOutputOptions outputs;
};

bool makes_a_call(const Directive& d) {
    return std::holds_alternative<Call>(d.action) || std::holds_alternative<Message>(d.action);
}

const char* const no_call_text = "the script makes no call (--allow-empty runs it all the same)";

ScriptFailure failure_of(const ScriptError& e, const char* kind = "script error") {
    return ScriptFailure{kind, e.line(), e.column(), e.what()};
}

void more_errors_note(const std::string& name) {
    std::cerr << name << ": error: more errors follow; the first " << max_script_errors
              << " are shown\n";
}

// The lines of a script read in chunks as they arrive. Before it waits for more input it
// flushes standard output, so that what ran so far shows while a generator is still writing
// the script, without a write per line when the input is already there. A line longer than
// max_line_bytes ends the reading: failed() says so.
class LineReader {
  public:
    // `read` fills up to `size` bytes and answers how many: 0 at the end, below 0 on failure.
    explicit LineReader(std::function<long long(char*, size_t)> read) : read_(std::move(read)) {}

    bool next(std::string& line) {
        for (;;) {
            const size_t end = buffer_.find('\n', start_);
            if (end != std::string::npos && end - start_ <= max_line_bytes) {
                line.assign(buffer_, start_, end - start_);
                start_ = end + 1;
                ++lines_;
                return true;
            }
            buffer_.erase(0, start_);
            start_ = 0;
            if (buffer_.size() > max_line_bytes) {
                too_long_ = true;
                ended_ = true;
                return false;
            }
            if (ended_) {
                line.swap(buffer_);
                buffer_.clear();
                lines_ += line.empty() ? 0 : 1;
                return !line.empty();
            }
            std::cout.flush();
            char chunk[65536];
            const long long n = read_(chunk, sizeof chunk);
            ended_ = n <= 0;
            failed_ = n < 0;
            buffer_.append(chunk, n > 0 ? static_cast<size_t>(n) : 0);
        }
    }
    // Why reading stopped before the end, or empty.
    std::string failure() const {
        if (too_long_) {
            return "line " + std::to_string(lines_ + 1) + " is longer than " +
                   std::to_string(max_line_bytes) + " bytes, the most a script line may hold";
        }
        return failed_ ? "a read failed" : "";
    }
    int too_long_line() const { return too_long_ ? lines_ + 1 : 0; }

  private:
    std::function<long long(char*, size_t)> read_;
    std::string buffer_;
    size_t start_ = 0;
    int lines_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool too_long_ = false;
};

// Hands a script's directives to `each` in order; false when the script is in error (said
// already, and its errors added to the list). What `each` throws passes through.
using DirectiveSink = std::function<void(Directive&&)>;
using DirectiveFeed = std::function<bool(const DirectiveSink&, std::vector<ScriptFailure>&)>;

// A script as `run` keeps it: its name, as given and as shown, and where its directives come
// from.
struct ScriptSource {
    std::string path;
    std::string name;
    DirectiveFeed directives;
};

// A script that was checked before the run, with what was wrong with it.
struct CheckedScript {
    std::string name;
    std::vector<ScriptFailure> errors;
};

// Reads and checks every script first, so that a typo is reported before anything runs; of a
// script only its text is kept.
bool read_scripts(const std::vector<std::string>& files, bool allow_empty, ScreenSize screen,
                  std::vector<ScriptSource>& scripts, std::vector<CheckedScript>& checked) {
    bool bad = false;
    for (const std::string& file : files) {
        const std::string name = file_label(file);
        checked.push_back({name, {}});
        std::vector<ScriptFailure>& errors = checked.back().errors;
        auto text = std::make_shared<std::string>();
        try {
            read_file(file, "script", *text, max_script_bytes);
        } catch (const Failure& failure) {
            report(failure); // the other scripts are still read
            errors.push_back(
                {"unreadable", 0, 0, "the script cannot be read (see standard error)"});
            bad = true;
            continue;
        }
        bool calls = false;
        try {
            for_each_directive(*text, screen,
                               [&](Directive&& d) { calls = calls || makes_a_call(d); });
        } catch (const ScriptErrors& e) {
            for (const ScriptError& error : e.errors()) {
                print_script_error(name, *text, error);
                errors.push_back(failure_of(error));
            }
            if (e.more()) {
                more_errors_note(name);
            }
            bad = true;
            continue;
        }
        if (!allow_empty && !calls) {
            std::cerr << name << ": error: " << no_call_text << "\n";
            errors.push_back({"script error", 0, 0, no_call_text});
            bad = true;
            continue;
        }
        scripts.push_back(
            {file, name, [text, screen](const DirectiveSink& each, std::vector<ScriptFailure>&) {
                 for_each_directive(*text, screen, each);
                 return true;
             }});
    }
    return !bad;
}

// Runs a script's lines through `each` as they are read, reporting its errors where they are
// reached; false when it was in error.
bool stream_directives(LineReader& lines, const std::string& name, ScreenSize screen,
                       bool allow_empty, const DirectiveSink& each,
                       std::vector<ScriptFailure>& failures) {
    bool calls = false;
    const bool more =
        for_each_directive([&](std::string& line) { return lines.next(line); }, screen,
                           [&](Directive&& d) {
                               calls = calls || makes_a_call(d);
                               each(std::move(d));
                           },
                           [&](const ScriptError& e, std::string_view line) {
                               std::cout.flush();
                               print_script_error(name, line, e);
                               failures.push_back(failure_of(e));
                           });
    if (more) {
        more_errors_note(name);
    }
    if (const std::string why = lines.failure(); !why.empty()) {
        std::cerr << name << ": error: cannot read the script: " << why << "\n";
        failures.push_back({"unreadable", lines.too_long_line(), 0, why});
        return false;
    }
    if (failures.empty() && !allow_empty && !calls) {
        std::cerr << name << ": error: " << no_call_text << "\n";
        failures.push_back({"script error", 0, 0, no_call_text});
        return false;
    }
    return failures.empty();
}

// With --stream: each script is run as it is read, a line at a time, and nothing of it is kept.
// Only whether a file can be opened is checked first; a script's errors are reported where
// they are reached, and nothing of it runs after its first one.
bool stream_scripts(const std::vector<std::string>& files, bool allow_empty, ScreenSize screen,
                    std::vector<ScriptSource>& scripts, std::vector<CheckedScript>& checked) {
    bool bad = false;
    for (const std::string& file : files) {
        const std::string name = file_label(file);
        checked.push_back({name, {}});
        auto in = std::make_shared<std::ifstream>();
        try {
            if (file != "-") {
                open_file(file, "script", *in);
            }
        } catch (const Failure& failure) {
            report(failure); // the other scripts are still opened
            checked.back().errors.push_back(
                {"unreadable", 0, 0, "the script cannot be read (see standard error)"});
            bad = true;
            continue;
        }
        auto lines = std::make_shared<LineReader>([in, file](char* to, size_t size) -> long long {
            if (file == "-") {
                return OPKIT_READ(0, to, static_cast<unsigned>(size));
            }
            in->read(to, static_cast<std::streamsize>(size));
            return in->bad() ? -1 : static_cast<long long>(in->gcount());
        });
        scripts.push_back({file, name,
                           [lines, name, screen, allow_empty](const DirectiveSink& each,
                                                              std::vector<ScriptFailure>& errors) {
                               return stream_directives(*lines, name, screen, allow_empty, each,
                                                        errors);
                           }});
    }
    return !bad;
}

// Runs a script's directives through the runner; false when it could not run to its end
// (said, and given to the reports). `line` follows the directive under way.
bool run_directives(const ScriptSource& script, Runner& runner, RunOutputs& outputs, int& line) {
    try {
        std::vector<ScriptFailure> errors;
        const bool read = script.directives(
            [&](Directive&& d) {
                line = d.line;
                outputs.before(d);
                runner.execute(d, script.name);
                outputs.after();
                // Output that cannot be written ends the run: nothing more would be seen.
                if (const std::string failure = output_failure(); !failure.empty()) {
                    throw std::runtime_error("cannot write to standard output: " + failure);
                }
            },
            errors);
        if (!read) {
            outputs.after();
            std::cerr << script.name << ": error: the script stopped at its first error\n";
            outputs.script_error(errors.empty() ? ScriptFailure{"script error", 0, 0, "in error"}
                                                : errors.front());
            return false;
        }
        runner.finish();
    } catch (const std::exception& e) {
        outputs.after();
        std::cerr << script.name << ":" << line << ": error: " << printable(e.what(), true) << "\n";
        outputs.script_error({"error", line, 0, printable(e.what(), true)});
        return false;
    }
    return true;
}

// Runs one script on a fresh session and prints its line of totals; false when it could not
// run to its end (said, and given to the reports).
bool run_script(const Globals& g, const ScriptSource& script, const RunOptions& options,
                Watchdog& watchdog, ScriptTotals& totals, RunOutputs& outputs, bool& warned) {
    std::ostream& out = outputs.stream();
    outputs.begin_script(script.name, script.path);
    std::unique_ptr<Session> session;
    try {
        session = open_session(g, hostsim::ClockMode::virtual_time);
    } catch (const Failure& failure) {
        report(failure); // the reports say it too, and the other scripts still run
        outputs.script_error({"error", 0, 0, failure.reason()});
        return false;
    }
    Runner runner(*session, out, options);
    runner.on_expectation = [&](const CheckOutcome& outcome) {
        outputs.expectation(outcome, session->host());
    };
    runner.on_call = [&](const Directive& d, const CallReport& report) {
        outputs.call(d, report, session->host());
    };
    runner.check_screen_file = [&](const Directive& d, const ExpectScreenFile& file) {
        return outputs.screen_file(d, file, session->host());
    };
    int line = 0;
    runner.on_call_start = [&](const std::string& what) {
        outputs.before_call(session->host());
        watchdog.start(script.name + ":" + std::to_string(line) + ": " + what);
    };
    runner.on_call_end = [&] { watchdog.stop(); };
    if (!options.quiet) {
        out << "== " << script.name << "\n";
        out << "plug-in " << printable(describe_plugin_file(session->options().plugin_path))
            << "\n";
    }
    if (!run_directives(script, runner, outputs, line)) {
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

// The files the run reads, which no output may overwrite: the scripts and the plug-in.
std::vector<std::string> run_inputs(const Globals& g, const std::vector<std::string>& files) {
    std::vector<std::string> inputs = files;
    std::string tried;
    if (const std::string plugin = locate_plugin(g.plugin, tried); !plugin.empty()) {
        inputs.push_back(plugin);
    }
    return inputs;
}

// Whether two paths name the same file, whether it exists yet or not.
bool same_file(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path first = fs::weakly_canonical(fs::absolute(a, error), error);
    if (error) {
        return a == b;
    }
    const fs::path second = fs::weakly_canonical(fs::absolute(b, error), error);
    return error ? a == b : first == second;
}

// Whether the HTML report may be written where --html says; false after saying why not.
bool check_html_path(const RunOutputOptions& o) {
    if (o.html.empty()) {
        return true;
    }
    std::string refused = refuse_output(o.html, html_output, o.inputs);
    if (refused.empty() && !o.junit.empty() && same_file(o.junit, o.html)) {
        refused = "it is the JUnit report's file too (--junit)";
    }
    if (!refused.empty()) {
        std::cerr << printable(o.html) << ": error: --html " << printable(o.html)
                  << " is refused: " << refused
                  << " (was the report's name left out? --html FILE)\n";
        return false;
    }
    return true;
}

// What is wrong with the run's arguments before anything is read; false after saying it.
bool check_run_args(const Globals& g, RunArgs& args) {
    if (std::count(args.files.begin(), args.files.end(), std::string("-")) > 1) {
        std::cerr << "opkit-host run: error: standard input (-) is named more than once; it holds "
                     "one script\n";
        return false;
    }
    args.outputs.inputs = run_inputs(g, args.files);
    std::string tried;
    args.outputs.plugin = locate_plugin(g.plugin, tried);
    if (!check_html_path(args.outputs)) {
        return false;
    }
    if (const std::string& junit = args.outputs.junit; !junit.empty()) {
        if (const std::string refused = refuse_output(junit, junit_output, args.outputs.inputs);
            !refused.empty()) {
            std::cerr << printable(junit) << ": error: --junit " << printable(junit)
                      << " is refused: " << refused
                      << " (was the report's name left out? --junit FILE)\n";
            return false;
        }
    }
    return true;
}

// Before a run that cannot start: the reports say why, each script with its errors.
int abandon_run(RunOutputs& outputs, const std::vector<CheckedScript>& checked) {
    for (const CheckedScript& c : checked) {
        outputs.not_run(c.name, c.errors);
    }
    std::string first;
    for (const CheckedScript& c : checked) {
        if (!c.errors.empty() && first.empty()) {
            const ScriptFailure& f = c.errors.front();
            first = c.name + (f.line > 0 ? ":" + std::to_string(f.line) : "") +
                    (f.column > 0 ? ":" + std::to_string(f.column) : "") + ": " + f.message;
        }
    }
    outputs.bail_out(first);
    outputs.finish();
    return exit_error;
}

int command_run(const Globals& g, RunArgs& args) {
    if (!check_run_args(g, args)) {
        return exit_error;
    }
    RunOptions& options = args.options;
    options.ansi = use_ansi(g) && !options.quiet;
    options.print_failures = !args.outputs.tap && !args.outputs.json;
    args.outputs.quiet = options.quiet;
    RunOutputs outputs(args.outputs);
    if (!outputs.start()) {
        return exit_error;
    }
    std::vector<ScriptSource> scripts;
    std::vector<CheckedScript> checked;
    const ScreenSize screen{g.rows, g.columns};
    if (!(args.stream ? stream_scripts : read_scripts)(args.files, args.allow_empty, screen,
                                                       scripts, checked)) {
        return abandon_run(outputs, checked);
    }
    ScriptTotals all;
    int failed_scripts = 0;
    int warned_scripts = 0; // failed for their warnings under --strict
    Watchdog watchdog(args.timeout,
                      [&outputs](const std::string& message) { outputs.hang(message); });
    std::ostream& out = outputs.stream();
    for (const ScriptSource& script : scripts) {
        ScriptTotals t;
        bool warned = false;
        if (!run_script(g, script, options, watchdog, t, outputs, warned)) {
            outputs.finish();
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
  call "21DICOUNT I         05 "         call DICOUNT operation=I counter=5
  message 5      set 3 "hello"           unreadable 4      readable 4
  key enter | key 27 | key "abc"         key abort (256)
  clock 2026-05-12 14:30:05              advance 1m30s
  at +5s set 7 "scanned"                 at +2s key abort    at +1s stop
  expect result 1                        expect var 3 "2"
  expect screen 2 "+----------------------+"                expect screen 0:9 "C4"
  expect screen "form.screen" [attributes]   (a stored picture; --update-screens)
  expect notice C4 | append | any | none expect keys 0
  expect transaction off                 expect cursor 5 10
  expect attribute 1:2 1 24              expect clock 2026-05-12 14:30:10
  show screen [0-7] | vars | trace | clock | keys
  echo "text"     write 3 0 "Item:"      clear     reload     explain "<record>"
Scripts run on a virtual clock: waits cost no time. When a notice waits for a key
and none is queued or scheduled, the runner presses Enter for it and says so.
A call that shows a notice fails the script unless an expect notice follows it
before the next call (--allow-notices accepts every notice, for exploring).
A script that makes no call (an empty one too) is an error unless --allow-empty.
Every script is read and checked before anything runs, and every error in it is
shown (up to 20 a script). With --stream a script runs as it is read instead:
output starts at once and memory stays flat however long it is (a generator can
pipe it to "run --stream -"); its errors are shown where they are reached, and
nothing after the first one runs.
A call whose record holds text in columns no field reads, length digits that
disagree with its length, or a field past its end gets a warning, and so do
scheduled events still pending when a script ends; --strict makes them fail.
For CI: --junit FILE is written for every run (a report saying the run is under
way stands until it ends), --tap prints TAP 13 (failure details as YAML, Bail out!
on a script error), --json a JSON array with an object per script. --html FILE
writes one self-contained page to open in a browser: a summary linked to each
failure, the screens expected and found side by side with the differing cells
marked, every call with the screen it left. Each report is written whatever the
run's end, and never over a file that is not such a report.
A script line is at most 65536 bytes, a record 256 characters, a script read
whole 256 MiB (--stream has no limit on the script), a screen file 1 MiB.
Exit status: 0 all expectations passed, 1 some failed, 2 a script or the plug-in
could not be read or the output not written, 3 a call did not return.

Examples:
  opkit-host run examples/demo.txt
  opkit-host run -q examples/*.txt
  opkit-host run --junit results.xml --trace-on-failure examples/*.txt
  opkit-host run -q --html report.html examples/*.txt
)TXT";

void add_run_output_flags(CLI::App& run, RunOutputOptions& o) {
    run.add_flag("--strict", o.strict, "record warnings and pending events fail the script");
    run.add_flag("--trace-on-failure", o.trace_on_failure,
                 "print the host calls of the call behind each failed expectation");
    CLI::Option* tap =
        run.add_flag("--tap", o.tap, "print the results as TAP (other output as # comments)");
    run.add_flag("--json", o.json,
                 "print a JSON array: per script its calls and expectations with their outcome")
        ->excludes(tap);
    run.add_flag("--update-screens", o.update_screens,
                 "write the screen files of expect screen FILE that are missing or differ");
    run.add_option("--junit", o.junit,
                   "write JUnit XML to FILE: a test case per expectation, with file and line")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](const std::string& file) {
                // Standard output holds the run's own report: the XML would be mixed into it.
                return file == "-" ? std::string("the JUnit report goes to a file, not to "
                                                 "standard output (--tap prints results there)")
                                   : std::string();
            },
            ""));
    run.add_option("--html", o.html,
                   "write the run as one HTML page to FILE: a summary, the failures with the "
                   "screens expected and found, every call")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](const std::string& file) {
                return file == "-" ? std::string("the HTML report goes to a file, not to "
                                                 "standard output")
                                   : std::string();
            },
            ""));
}

} // namespace

Command add_run_command(CLI::App& app, const Globals& g) {
    auto args = std::make_shared<RunArgs>();
    CLI::App* run = app.add_subcommand("run", "run host scripts and check their expectations");
    run->add_option("scripts", args->files, "script files; - reads one from standard input")
        ->type_name("FILE")
        ->required();
    CLI::Option* verbose = run->add_flag("-v,--verbose", args->options.verbose,
                                         "also print passing expectations and host directives");
    run->add_flag("-q,--quiet", args->options.quiet,
                  "print only failures, shown output and the summary (not with -v)")
        ->excludes(verbose);
    add_run_output_flags(*run, args->outputs);
    run->add_flag("--stream", args->stream,
                  "run each script as it is read, reporting its errors where they are reached");
    run->add_flag("--allow-empty", args->allow_empty,
                  "accept a script that makes no call (an empty one passes)");
    run->add_flag("--allow-notices", args->options.allow_notices,
                  "a notice that no expect notice follows fails nothing (exploring)");
    run->add_option("--timeout", args->timeout,
                    "give up when one call runs longer than this many seconds (0: never)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](const std::string& text) {
                int seconds = 0;
                const auto r = std::from_chars(text.data(), text.data() + text.size(), seconds);
                return r.ec == std::errc() && r.ptr == text.data() + text.size() && seconds >= 0
                           ? std::string()
                           : "a whole number of seconds, 0 (never) to " +
                                 std::to_string(INT32_MAX) + ", not " + text;
            },
            ""));
    run->footer(run_footer);
    return [run, args, &g] { return run->parsed() ? command_run(g, *args) : -1; };
}

} // namespace opkit_cli
