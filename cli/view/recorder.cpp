// The shell's session recorder.
#include "recorder.h"

#include "compose.h"
#include "render.h"

namespace opkit_cli {

namespace {

// The variables a script can name.
constexpr int first_script_variable = opkit::variable_low;
constexpr int last_script_variable = opkit::variable_high;

} // namespace

const OutputKind recording_output{"recording", 4096, [](const std::string& head) {
                                      return head.rfind(Recorder::header, 0) == 0;
                                  }};

bool Recorder::acts_on_host(const std::string& line) {
    static const char* const words[] = {"set",   "unreadable", "readable", "key",
                                        "clock", "advance",    "at",       "stop",
                                        "write", "clear",      "reload"};
    const std::string text = trimmed(line);
    const std::string word = lower(text.substr(0, text.find_first_of(" \t")));
    for (const char* w : words) {
        if (word == w) {
            return true;
        }
    }
    return false;
}

void Recorder::call(const std::string& clock_text, const std::string& line) {
    lines_.push_back("clock " + clock_text);
    running_call_ = lines_.size();
    running_ = true;
    lines_.push_back(trimmed(line));
}

void Recorder::result(int value, const std::string& notice) {
    if (running_) {
        lines_.push_back("expect result " + std::to_string(value));
        if (!notice.empty()) {
            lines_.push_back("expect notice " + notice);
        }
        running_ = false;
    }
}

void Recorder::during_call(long long milliseconds, const std::string& event) {
    const std::string text = "at +" + std::to_string(milliseconds) + "ms " + trimmed(event);
    if (!running_) {
        lines_.push_back(text);
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(running_call_), text);
    ++running_call_;
}

void Recorder::line(const std::string& text) {
    lines_.push_back(trimmed(text));
}

std::string Recorder::script(const std::map<int, std::string>& variables,
                             const std::vector<std::string>& screen_rows) const {
    std::string out = std::string(header) + "\n";
    for (const std::string& l : lines_) {
        out += l + "\n";
    }
    out += "# The session's end: the user variables and the screen.\n";
    for (const auto& [number, text] : variables) {
        if (!text.empty() && number >= first_script_variable && number <= last_script_variable) {
            out += "expect var " + std::to_string(number) + " " + quoted_text(text) + "\n";
        }
    }
    for (size_t row = 0; row < screen_rows.size(); ++row) {
        const std::string& text = screen_rows[row];
        const size_t end = text.find_last_not_of(' ');
        if (end != std::string::npos) {
            out += "expect screen " + std::to_string(row) + " " +
                   quoted_text(std::string_view(text).substr(0, end + 1)) + "\n";
        }
    }
    return out;
}

} // namespace opkit_cli
