// JUnit XML, TAP and JSON renderings of what run, call and explain find.
#include "report_formats.h"

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

std::string testcase(const std::string& script, const std::string& name, int line,
                     const std::string& body) {
    return "    <testcase classname=\"" + xml_text(script) + "\" name=\"" + xml_text(name) +
           "\" file=\"" + xml_text(script) + "\" line=\"" + std::to_string(line) + "\"" +
           (body.empty() ? "/>\n" : ">\n" + body + "    </testcase>\n");
}

std::string failure_element(const std::string& message, const std::string& text) {
    return "      <failure message=\"" + xml_text(message) + "\">" + xml_text(text) +
           "</failure>\n";
}

} // namespace

std::string json_string(const std::string& text) {
    return quoted_text(text, true);
}

std::string xml_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#10;"; break;
        default:
            // Bytes from 0x80 on are not UTF-8 of their own: written as escapes too.
            out += shown_byte(c);
        }
    }
    return out;
}

void write_junit(std::ostream& out, const std::vector<ScriptResult>& scripts) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"opkit-host run\">\n";
    for (const ScriptResult& s : scripts) {
        std::string cases;
        int tests = 0;
        int failures = 0;
        for (const ExpectationResult& e : s.expectations) {
            std::string body;
            if (e.failure) {
                std::string text = s.name + ":" + std::to_string(e.line) + ": " + e.source + "\n" +
                                   *e.failure + "\n";
                for (const std::string& line : e.trace) {
                    text += "  " + line + "\n";
                }
                body = failure_element(*e.failure, text);
                ++failures;
            }
            cases +=
                testcase(s.name, "line " + std::to_string(e.line) + ": " + e.source, e.line, body);
            ++tests;
        }
        if (s.strict && !s.warnings.empty()) {
            std::string text;
            for (const std::string& w : s.warnings) {
                text += w + "\n";
            }
            cases += testcase(s.name, "record warnings (--strict)", 0,
                              failure_element(s.warnings.front(), text));
            ++tests;
            ++failures;
        }
        if (!s.error.empty()) {
            cases += testcase(s.name, "script runs to its end", 0,
                              "      <error message=\"" + xml_text(s.error) + "\"/>\n");
            ++tests;
        }
        out << "  <testsuite name=\"" << xml_text(s.name) << "\" tests=\"" << tests
            << "\" failures=\"" << failures << "\" errors=\"" << (s.error.empty() ? 0 : 1)
            << "\">\n"
            << cases << "  </testsuite>\n";
    }
    out << "</testsuites>\n";
}

TapWriter::TapWriter(std::ostream& out) : out_(out) {
    out_ << "TAP version 13\n";
}

void TapWriter::comment_lines(const std::string& text) {
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
    ++count_;
    out_ << (e.failure ? "not ok " : "ok ") << count_ << " - " << script << ":" << e.line << ": "
         << e.source << "\n";
    if (e.failure) {
        comment_lines(*e.failure);
        for (const std::string& line : e.trace) {
            out_ << "#   " << line << "\n";
        }
    }
}

void TapWriter::warning_failure(const std::string& script, const std::string& warning) {
    ++count_;
    out_ << "not ok " << count_ << " - " << script << ": record warning (--strict)\n";
    comment_lines(warning);
}

void TapWriter::finish() {
    out_ << "1.." << count_ << "\n";
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
