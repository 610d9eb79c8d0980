// Machine-readable results: JUnit XML and TAP for `run`, JSON for `explain` and `call`, and
// the text escapes that keep any record byte valid in each of them.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "explain.h"
#include "runner.h"
#include "warnings.h"

namespace opkit_cli {

// A text as a JSON string, quotes included; control bytes and bytes from 0x80 on as \u00XX.
std::string json_string(const std::string& text);

// A text for XML character data or an attribute value. Control bytes, which XML 1.0 cannot
// hold at all, are written as the text \xHH.
std::string xml_text(const std::string& text);

// One expectation of a script as it was checked.
struct ExpectationResult {
    int line = 0;
    std::string source;                 // the directive as written
    std::optional<std::string> failure; // what was found instead, when it failed
    std::vector<std::string> trace;     // the host calls of the last call, when it failed
};

// What one script came to.
struct ScriptResult {
    std::string name;
    std::vector<ExpectationResult> expectations;
    std::vector<std::string> warnings; // "line: message"; failures under --strict
    std::string error;                 // the script could not run to its end
    bool strict = false;
};

// JUnit XML: a test suite per script, a test case per expectation (with the script's file
// and line), a failure element with the text of each failed one; a script warned about under
// --strict, or one that stopped, gets a test case of its own that fails.
void write_junit(std::ostream& out, const std::vector<ScriptResult>& scripts);

// TAP: one test point per expectation, the runner's other output as comment lines.
class TapWriter {
  public:
    explicit TapWriter(std::ostream& out);
    void comment_lines(const std::string& text); // each line as "# line"
    void expectation(const std::string& script, const ExpectationResult& e);
    void warning_failure(const std::string& script, const std::string& warning);
    void finish(); // the plan
  private:
    std::ostream& out_;
    int count_ = 0;
};

// An analysed record (with its warnings) as a JSON object.
std::string analysis_json(const Analysis& a);

// A call's outcome as a JSON object: the record's analysis, the result, the notice, the
// variables changed and the screen rows.
std::string call_json(const std::string& record, const CallReport& report,
                      const hostsim::Host& host);

} // namespace opkit_cli
