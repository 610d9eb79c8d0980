// What `run` adds around the runner's own report: record warnings before each call, the
// host-call trace behind a failed expectation, events still due when a script ends, and the
// results collected for JUnit XML or streamed as TAP.
#pragma once

#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "report_formats.h"
#include "script.h"
#include "session.h"

namespace opkit_cli {

struct RunOutputOptions {
    bool strict = false;           // record warnings fail the script
    bool trace_on_failure = false; // print the host calls behind a failed expectation
    bool tap = false;              // TAP on standard output
    std::string junit;             // JUnit XML to this file ("": none)
    bool quiet = false;            // an echo line is printed only when output follows it
    bool update_screens = false;   // write screen files that are missing or differ
};

class RunOutputs {
  public:
    explicit RunOutputs(RunOutputOptions options);

    // Where the runner and the run's own lines write: standard output, or a buffer passed
    // on after each directive (as TAP comments, or quietly, behind the echo lines that head
    // it).
    std::ostream& stream();

    void begin_script(const std::string& name);
    // Before each directive: the warnings of a call's record.
    void before(const Directive& d);
    // After each directive: the buffered output passed on.
    void after();
    void expectation(const Directive& d, const std::optional<std::string>& failure,
                     const hostsim::Host& host);
    void script_error(const std::string& message);
    // Compares the screen with the file an expectation names, relative to the script's folder.
    std::optional<std::string> screen_file(const Directive& d, const ExpectScreenFile& file,
                                           const hostsim::Host& host);
    // Says what the script left undone; true when the script fails for its warnings.
    bool end_script(const hostsim::Host& host);

    // Writes the JUnit file and the TAP plan; false after saying why the file cannot be
    // written.
    bool finish();

  private:
    void emit(const std::string& text);

    RunOutputOptions options_;
    bool holding_echo_ = false; // the directive run last is an echo, under quiet
    std::string held_;          // echo lines that no output has followed yet
    std::ostringstream buffer_;
    std::optional<TapWriter> tap_;
    std::vector<ScriptResult> results_;
};

} // namespace opkit_cli
