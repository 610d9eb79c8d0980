// Machine-readable results: JUnit XML and TAP for `run`, JSON for `explain` and `call`, and
// the text escapes that keep any record byte valid in each of them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "explain.h"
#include "output.h"
#include "runner.h"
#include "text.h"
#include "warnings.h"

namespace opkit_cli {

// A JUnit report, as `run --junit` writes it over an existing file.
extern const OutputKind junit_output;

// One expectation of a script as it was checked (or a notice that no expectation took).
struct ExpectationResult {
    int line = 0;
    std::string source;                 // the directive as written, escaped
    std::optional<std::string> failure; // what was found instead, when it failed
    std::string call;                   // the last call before it ("line 3: call \"...\""), or ""
    std::string kind = "expectation";   // the kind of failure: expectation, unexpected notice
    std::vector<std::string> trace;     // the host calls of the last call, when it failed
    double seconds = 0;                 // real time from the previous test point
};

// An error that kept a script from running to its end, with its place when it has one.
struct ScriptFailure {
    std::string kind;    // "script error", "error", "unreadable"
    int line = 0;        // 0: none
    int column = 0;      // 0: none
    std::string message; // escaped
};

// One call as `run --json` lists it.
struct CallResult {
    int line = 0;
    std::string what; // the record, or "message N"
    bool message = false;
    int result = 0;
    std::string notice;
    std::vector<std::string> changes;
    int64_t elapsed_ms = 0;
};

// What one script came to.
struct ScriptResult {
    std::string name; // as reports show it: escaped, "(standard input)" for -
    std::vector<ExpectationResult> expectations;
    std::vector<CallResult> calls;     // kept for run --json only
    std::vector<std::string> warnings; // "line: message"; failures under --strict
    std::vector<ScriptFailure> errors; // the script could not run to its end
    bool strict = false;
    bool run = true;       // false: not run, as another script of the run was in error
    std::string timestamp; // when it started, UTC, ISO 8601
    double seconds = 0;    // real time it took
    bool passed() const;
};

// The failure text of an expectation as reports give it: the script line, what failed, and
// the call behind it.
std::string failure_message(const std::string& script, const ExpectationResult& e);

// JUnit XML: a test suite per script with its counts, time and timestamp, and the totals on
// the test suites; a test case per expectation (with the script's file, line and time), a
// failure with its type and a message naming the line and the call; a script warned about
// under --strict gets a failing test case of its own, an error an error test case with its
// place, a script not run a skipped one.
std::string junit_report(const std::vector<ScriptResult>& scripts);
// The report that stands while a run is under way: an error, in case the run never ends.
std::string junit_unfinished();

// A text in TAP's description: # and \ escaped, so that neither starts a directive.
std::string tap_description(const std::string& text);

// TAP version 13: one test point per expectation, details of a failure as a YAML block under
// it, the runner's other output as comment lines; `Bail out!` when a script is in error.
class TapWriter {
  public:
    explicit TapWriter(std::ostream& out);
    void comment_lines(const std::string& text); // each line as "# line"
    void expectation(const std::string& script, const ExpectationResult& e);
    void warning_failure(const std::string& script, const std::string& warning);
    void bail_out(const std::string& reason);
    void finish(); // the plan, unless the run bailed out
    bool bailed_out() const { return bailed_; }

  private:
    std::ostream& out_;
    int count_ = 0;
    bool bailed_ = false;
};

// A script's calls and expectations as one JSON object, for run --json.
std::string script_json(const ScriptResult& script);

// An analysed record (with its warnings) as a JSON object.
std::string analysis_json(const Analysis& a);

// A call's outcome as a JSON object: the record's analysis, the result, the notice, the
// variables changed and the screen rows.
std::string call_json(const std::string& record, const CallReport& report,
                      const hostsim::Host& host);

} // namespace opkit_cli
