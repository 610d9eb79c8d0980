// What `run` adds around the runner's own report: record warnings before each call, the
// host-call trace behind a failed expectation, events still due when a script ends, and the
// results for CI: JUnit XML written for every run that was asked for (whatever its end), TAP on
// standard output, or a JSON object per script.
#pragma once

#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "report_formats.h"
#include "report_html.h"
#include "runner.h"
#include "script.h"
#include "session.h"

namespace opkit_cli {

struct RunOutputOptions {
    bool strict = false;             // record warnings fail the script
    bool trace_on_failure = false;   // print the host calls behind a failed expectation
    bool tap = false;                // TAP on standard output
    bool json = false;               // a JSON array of script objects on standard output
    std::string junit;               // JUnit XML to this file ("": none)
    std::string html;                // the HTML report to this file ("": none)
    std::string plugin;              // the plug-in the run loads, as the HTML report names it
    bool quiet = false;              // an echo line is printed only when output follows it
    bool update_screens = false;     // write screen files that are missing or differ
    std::vector<std::string> inputs; // files the run reads: never written as an output
};

class RunOutputs {
  public:
    explicit RunOutputs(RunOutputOptions options);

    // Writes a JUnit report that says the run is unfinished, so that no earlier report stays
    // standing if the run never ends; false when the file cannot be written (said already).
    bool start();

    // Where the runner and the run's own lines write: standard output, or a buffer passed
    // on after each directive (as TAP comments, quietly behind the echo lines that head it, or
    // nowhere under --json).
    std::ostream& stream();

    // `name` as reports show it, `path` as the file was given ("-": standard input).
    void begin_script(const std::string& name, const std::string& path);
    // Before each directive: the warnings of a call's record.
    void before(const Directive& d);
    // After each directive: the buffered output passed on.
    void after();
    void expectation(const CheckOutcome& outcome, const hostsim::Host& host);
    // Just before a call into the plug-in, and after it with what it did.
    void before_call(const hostsim::Host& host);
    void call(const Directive& d, const CallReport& report, const hostsim::Host& host);
    // The script could not run to its end: TAP bails out, the reports carry the error.
    void script_error(const ScriptFailure& failure);
    // Scripts that were not run because the run was in error before any ran: each with its
    // errors (none: it was fine, but not run).
    void not_run(const std::string& name, const std::vector<ScriptFailure>& errors);
    // TAP ends with `Bail out!` and the reason (the run cannot start).
    void bail_out(const std::string& reason);
    // Compares the screen with the file an expectation names, relative to the script's folder.
    std::optional<std::string> screen_file(const Directive& d, const ExpectScreenFile& file,
                                           const hostsim::Host& host);
    // Says what the script left undone; true when the script fails for its warnings.
    bool end_script(const hostsim::Host& host);

    // A call that did not return, from the watchdog's thread: TAP bails out and the JUnit
    // report says so. The runner's thread is inside the plug-in then.
    void hang(const std::string& message);

    // Writes the JUnit file, the TAP plan and the end of the JSON array; false after saying
    // why the file cannot be written.
    bool finish();

  private:
    void emit(const std::string& text);
    bool keep() const { return !options_.junit.empty() || options_.json; }
    void close_script();
    bool write_junit();
    bool write_html();

    RunOutputOptions options_;
    bool holding_echo_ = false; // the directive run last is an echo, under quiet
    std::string held_;          // echo lines that no output has followed yet
    std::ostringstream buffer_;
    std::optional<TapWriter> tap_;
    std::vector<ScriptResult> results_;
    std::string path_; // the script as it was given
    bool open_ = false;
    bool json_started_ = false;
    std::chrono::steady_clock::time_point script_start_{};
    std::chrono::steady_clock::time_point last_point_{};
    std::mutex mutex_; // results_ and the output, against the watchdog's thread
    std::unique_ptr<HtmlRecorder> html_;
    const Expectation* expecting_ = nullptr; // the expectation of the directive under way
    std::string screen_file_;                // the screen file it compares with, as found
};

} // namespace opkit_cli
