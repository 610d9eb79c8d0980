// JUnit XML, TAP and JSON renderings of what run, call and explain find.
#include "report_formats.h"

#include <algorithm>
#include <cstdio>

#include "render.h"

namespace opkit_cli {

namespace {

// A JSON array of the items, each as `to_json` writes it.
template <typename T, typename ToJson>
std::string json_list(const std::vector<T>& items, ToJson to_json) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ", ") + to_json(items[i]);
    }
    return out + "]";
}

std::string warning_json(const RecordWarning& w) {
    return "{\"code\": " + json_string(warning_code(w.kind)) +
           ", \"column\": " + std::to_string(w.column) +
           ", \"message\": " + json_string(w.message) + "}";
}

std::string field_json(const FieldReport& f) {
    return "{\"name\": " + json_string(f.name) + ", \"first\": " + std::to_string(f.first) +
           ", \"width\": " + std::to_string(f.width) + ", \"characters\": " + json_string(f.raw) +
           ", \"read\": " + (f.read ? "true" : "false") + ", \"value\": " + json_string(f.value) +
           ", \"verdict\": " + json_string(f.verdict) + "}";
}

std::string check_json(const Check& c) {
    const char* state = c.state == Check::State::ok      ? "passes"
                        : c.state == Check::State::fails ? "fails"
                                                         : "host";
    return "{\"code\": " + json_string(c.code) + ", \"text\": " + json_string(c.text) +
           ", \"state\": " + json_string(state) + "}";
}

// "0.012": seconds with milliseconds, as JUnit readers take them.
std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds < 0 ? 0.0 : seconds);
    return text;
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + xml_text(value) + "\"";
}

std::string testcase(const std::string& script, const std::string& name, int line, double seconds,
                     const std::string& body) {
    return "    <testcase" + attribute("classname", script) + attribute("name", name) +
           attribute("file", script) + attribute("line", std::to_string(line)) +
           attribute("time", seconds_text(seconds)) +
           (body.empty() ? "/>\n" : ">\n" + body + "    </testcase>\n");
}

// <failure> or <error> with its type, message and text.
std::string outcome_element(const char* element, const std::string& type,
                            const std::string& message, const std::string& text) {
    return std::string("      <") + element + attribute("type", type) +
           attribute("message", message) + ">" + xml_text(text) + "</" + element + ">\n";
}

struct Counts {
    int tests = 0;
    int failures = 0;
    int errors = 0;
    int skipped = 0;
    double seconds = 0;
};

std::string counts_attributes(const Counts& c) {
    return attribute("tests", std::to_string(c.tests)) +
           attribute("failures", std::to_string(c.failures)) +
           attribute("errors", std::to_string(c.errors)) +
           attribute("skipped", std::to_string(c.skipped)) +
           attribute("time", seconds_text(c.seconds));
}

// A script's test cases, with their counts.
std::string script_cases(const ScriptResult& s, Counts& c) {
    std::string cases;
    for (const ExpectationResult& e : s.expectations) {
        std::string body;
        if (e.failure) {
            std::string text = failure_message(s.name, e) + "\n";
            for (const std::string& line : e.trace) {
                text += "  " + line + "\n";
            }
            body = outcome_element("failure", e.kind, failure_message(s.name, e), text);
            ++c.failures;
        }
        cases += testcase(s.name, "line " + std::to_string(e.line) + ": " + e.source, e.line,
                          e.seconds, body);
        ++c.tests;
    }
    if (s.strict && !s.warnings.empty()) {
        std::string text;
        for (const std::string& w : s.warnings) {
            text += w + "\n";
        }
        cases += testcase(s.name, "record warnings (--strict)", 0, 0,
                          outcome_element("failure", "warning", s.warnings.front(), text));
        ++c.tests;
        ++c.failures;
    }
    for (const ScriptFailure& f : s.errors) {
        std::string place = s.name;
        if (f.line > 0) {
            place +=
                ":" + std::to_string(f.line) + (f.column > 0 ? ":" + std::to_string(f.column) : "");
        }
        const std::string message = place + ": " + f.message;
        const std::string name =
            f.line > 0 ? f.kind + " at line " + std::to_string(f.line) +
                             (f.column > 0 ? ", column " + std::to_string(f.column) : "")
                       : f.kind;
        cases +=
            testcase(s.name, name, f.line, 0, outcome_element("error", f.kind, message, message));
        ++c.tests;
        ++c.errors;
    }
    if (!s.run) {
        cases +=
            testcase(s.name, "script", 0, 0,
                     "      <skipped message=\"not run: a script of this run is in error\"/>\n");
        ++c.tests;
        ++c.skipped;
    }
    c.seconds = s.seconds;
    return cases;
}

// A text as a YAML double-quoted scalar: quotes and backslashes escaped, every other byte
// outside printable ASCII as \xHH (a line feed as \n).
std::string yaml_string(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += shown_byte(c);
        }
    }
    return out + "\"";
}

bool looks_like_junit(const std::string& head) {
    const size_t start = head.find_first_not_of(" \t\r\n");
    return start != std::string::npos &&
           (head.substr(start).rfind("<?xml", 0) == 0 ||
            head.substr(start).rfind("<testsuites", 0) == 0) &&
           head.find("<testsuite") != std::string::npos;
}

} // namespace

const OutputKind junit_output{"JUnit report", 4096, looks_like_junit};

bool ScriptResult::passed() const {
    if (!errors.empty() || !run || (strict && !warnings.empty())) {
        return false;
    }
    for (const ExpectationResult& e : expectations) {
        if (e.failure) {
            return false;
        }
    }
    return true;
}

std::string failure_message(const std::string& script, const ExpectationResult& e) {
    return script + ":" + std::to_string(e.line) + ": " + e.source + ": " +
           e.failure.value_or("passed") + (e.call.empty() ? "" : " (last call: " + e.call + ")");
}

std::string junit_report(const std::vector<ScriptResult>& scripts) {
    std::string suites;
    Counts all;
    std::string first_timestamp;
    for (const ScriptResult& s : scripts) {
        Counts c;
        const std::string cases = script_cases(s, c);
        suites += "  <testsuite" + attribute("name", s.name) + counts_attributes(c) +
                  attribute("timestamp", s.timestamp) + attribute("file", s.name) + ">\n" + cases +
                  "  </testsuite>\n";
        all.tests += c.tests;
        all.failures += c.failures;
        all.errors += c.errors;
        all.skipped += c.skipped;
        all.seconds += c.seconds;
        first_timestamp = first_timestamp.empty() ? s.timestamp : first_timestamp;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
           attribute("name", "opkit-host run") + counts_attributes(all) +
           (first_timestamp.empty() ? "" : attribute("timestamp", first_timestamp)) + ">\n" +
           suites + "</testsuites>\n";
}

std::string junit_unfinished() {
    ScriptResult s;
    s.name = "opkit-host run";
    s.errors.push_back({"unfinished", 0, 0,
                        "the run did not finish: this report was written as it started (a call "
                        "that did not return, or the tool was stopped)"});
    return junit_report({s});
}

std::string tap_description(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '#' || c == '\\') {
            out += '\\';
        }
        out += c == '\n' ? ' ' : c;
    }
    return out;
}

TapWriter::TapWriter(std::ostream& out) : out_(out) {
    out_ << "TAP version 13\n";
}

void TapWriter::comment_lines(const std::string& text) {
    if (bailed_) {
        return;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        out_ << "# " << text.substr(start, end - start) << "\n";
        start = end + 1;
    }
}

void TapWriter::expectation(const std::string& script, const ExpectationResult& e) {
    if (bailed_) {
        return;
    }
    ++count_;
    out_ << (e.failure ? "not ok " : "ok ") << count_ << " - "
         << tap_description(script + ":" + std::to_string(e.line) + ": " + e.source) << "\n";
    if (!e.failure) {
        return;
    }
    // The details once, as a YAML block that TAP 13 readers show with the test point.
    out_ << "  ---\n  message: " << yaml_string(*e.failure) << "\n  severity: fail\n"
         << "  type: " << yaml_string(e.kind) << "\n  at:\n    file: " << yaml_string(script)
         << "\n    line: " << e.line << "\n";
    if (!e.call.empty()) {
        out_ << "  call: " << yaml_string(e.call) << "\n";
    }
    if (!e.trace.empty()) {
        out_ << "  trace:\n";
        for (const std::string& line : e.trace) {
            out_ << "    - " << yaml_string(line) << "\n";
        }
    }
    out_ << "  ...\n";
}

void TapWriter::warning_failure(const std::string& script, const std::string& warning) {
    if (bailed_) {
        return;
    }
    ++count_;
    out_ << "not ok " << count_ << " - " << tap_description(script + ": record warning (--strict)")
         << "\n  ---\n  message: " << yaml_string(warning) << "\n  severity: fail\n  ...\n";
}

void TapWriter::bail_out(const std::string& reason) {
    if (bailed_) {
        return;
    }
    std::string line = reason;
    std::replace(line.begin(), line.end(), '\n', ' ');
    out_ << "Bail out! " << line << "\n";
    bailed_ = true;
}

void TapWriter::finish() {
    if (!bailed_) {
        out_ << "1.." << count_ << "\n";
    }
}

std::string script_json(const ScriptResult& s) {
    const auto call_json_of = [](const CallResult& c) {
        return "{\"line\": " + std::to_string(c.line) + ", \"" +
               (c.message ? "message\": " + c.what.substr(8) : "record\": " + json_string(c.what)) +
               ", \"result\": " + std::to_string(c.result) +
               ", \"notice\": " + (c.notice.empty() ? "null" : json_string(c.notice)) +
               ", \"changes\": " + json_list(c.changes, json_string) +
               ", \"elapsed_ms\": " + std::to_string(c.elapsed_ms) + "}";
    };
    const auto expectation_json = [](const ExpectationResult& e) {
        return "{\"line\": " + std::to_string(e.line) + ", \"source\": " + json_string(e.source) +
               ", \"kind\": " + json_string(e.kind) +
               ", \"passed\": " + (e.failure ? "false" : "true") +
               ", \"failure\": " + (e.failure ? json_string(*e.failure) : "null") +
               ", \"call\": " + (e.call.empty() ? "null" : json_string(e.call)) + "}";
    };
    const auto error_json = [](const ScriptFailure& f) {
        return "{\"kind\": " + json_string(f.kind) + ", \"line\": " + std::to_string(f.line) +
               ", \"column\": " + std::to_string(f.column) +
               ", \"message\": " + json_string(f.message) + "}";
    };
    int failures = 0;
    for (const ExpectationResult& e : s.expectations) {
        failures += e.failure ? 1 : 0;
    }
    return "{\"script\": " + json_string(s.name) +
           ", \"passed\": " + (s.passed() ? "true" : "false") +
           ", \"run\": " + (s.run ? "true" : "false") +
           ", \"expectations_failed\": " + std::to_string(failures) +
           ", \"calls\": " + json_list(s.calls, call_json_of) +
           ", \"expectations\": " + json_list(s.expectations, expectation_json) +
           ", \"warnings\": " + json_list(s.warnings, json_string) +
           ", \"strict\": " + (s.strict ? "true" : "false") +
           ", \"errors\": " + json_list(s.errors, error_json) +
           ", \"seconds\": " + seconds_text(s.seconds) + "}";
}

std::string analysis_json(const Analysis& a) {
    return "{\"record\": " + json_string(a.record) +
           ", \"characters\": " + std::to_string(a.chars) +
           ", \"length\": " + std::to_string(a.length) +
           ", \"function\": " + (a.layout != nullptr ? json_string(a.layout->name) : "null") +
           ", \"fields\": " + json_list(a.fields, field_json) +
           ", \"checks\": " + json_list(a.checks, check_json) +
           ", \"notice\": " + (a.notice.empty() ? "null" : json_string(a.notice)) +
           ", \"action\": " + json_string(a.action) +
           ", \"warnings\": " + json_list(record_warnings(a), warning_json) + "}";
}

std::string call_json(const std::string& record, const CallReport& report,
                      const hostsim::Host& host) {
    std::vector<std::string> rows;
    for (int r = 0; r < host.options().rows; ++r) {
        rows.push_back(host.screen_row(r));
    }
    const Analysis a = analyse(record);
    return "{\"record\": " + json_string(record) +
           ", \"function\": " + (a.layout != nullptr ? json_string(a.layout->name) : "null") +
           ", \"result\": " + std::to_string(report.result) +
           ", \"notice\": " + (report.notice.empty() ? "null" : json_string(report.notice)) +
           ", \"enter_pressed\": " + (report.auto_key ? "true" : "false") +
           ", \"changes\": " + json_list(report.changes, json_string) +
           ", \"warnings\": " + json_list(record_warnings(a), warning_json) +
           ", \"screen\": " + json_list(rows, json_string) + "}";
}

} // namespace opkit_cli
