// Record warnings, failure traces, pending events, JUnit and TAP around `run`.
#include "run_outputs.h"

#include <filesystem>
#include <fstream>

#include "render.h"
#include "screen_file.h"
#include "warnings.h"

namespace opkit_cli {

RunOutputs::RunOutputs(RunOutputOptions options) : options_(std::move(options)) {
    if (options_.tap) {
        tap_.emplace(std::cout);
    }
}

std::ostream& RunOutputs::stream() {
    return options_.tap || options_.quiet ? static_cast<std::ostream&>(buffer_) : std::cout;
}

void RunOutputs::begin_script(const std::string& name) {
    held_.clear();
    results_.push_back(ScriptResult{});
    results_.back().name = name;
    results_.back().strict = options_.strict;
}

void RunOutputs::before(const Directive& d) {
    // Echo lines after some other directive start a new heading: one held before it had
    // nothing to head.
    const bool echo = options_.quiet && std::holds_alternative<Echo>(d.action);
    if (echo && !holding_echo_) {
        held_.clear();
    }
    holding_echo_ = echo;
    const auto* call = std::get_if<Call>(&d.action);
    if (call == nullptr) {
        return;
    }
    ScriptResult& s = results_.back();
    for (const RecordWarning& w : record_warnings(call->record)) {
        const std::string where = s.name + ":" + std::to_string(d.line);
        stream() << where << ": warning: " << w.message << "\n";
        s.warnings.push_back(where + ": " + w.message);
    }
}

void RunOutputs::emit(const std::string& text) {
    if (tap_) {
        tap_->comment_lines(text);
    } else {
        std::cout << text;
    }
}

// Under quiet, an echo line (a section heading, say) waits for output to follow it, so that
// headings of sections with nothing to show are left out.
void RunOutputs::after() {
    const std::string text = buffer_.str();
    buffer_.str({});
    if (holding_echo_) {
        held_ += text;
        return;
    }
    if (!text.empty()) {
        emit(held_ + text);
        held_.clear();
    }
}

void RunOutputs::expectation(const Directive& d, const std::optional<std::string>& failure,
                             const hostsim::Host& host) {
    ExpectationResult e{d.line, trimmed(d.source), failure, {}};
    if (failure && options_.trace_on_failure) {
        // The trace holds the host calls of the last call into the plug-in.
        e.trace = render_trace(host.trace());
        if (!tap_) {
            stream() << "      host calls of the last call:"
                     << (e.trace.empty() ? " none\n" : "\n");
            for (const std::string& line : e.trace) {
                stream() << "        " << line << "\n";
            }
        }
    }
    if (tap_) {
        after(); // the runner's report of it comes first
        tap_->expectation(results_.back().name, e);
    }
    // Only the JUnit report, written at the end, needs every expectation kept; without it
    // memory stays flat however long the scripts are.
    if (!options_.junit.empty()) {
        results_.back().expectations.push_back(std::move(e));
    }
}

std::optional<std::string> RunOutputs::screen_file(const Directive& d, const ExpectScreenFile& file,
                                                   const hostsim::Host& host) {
    std::filesystem::path path(file.path);
    const std::string& script = results_.back().name;
    if (path.is_relative() && script != "(standard input)") {
        path = std::filesystem::path(script).parent_path() / path;
    }
    std::string note;
    auto failure =
        compare_screen_file(host, path.string(), file.attributes, options_.update_screens, note);
    if (!note.empty()) {
        stream() << script << ":" << d.line << ": " << note << "\n";
    }
    return failure;
}

void RunOutputs::script_error(const std::string& message) {
    results_.back().error = message;
}

bool RunOutputs::end_script(const hostsim::Host& host) {
    holding_echo_ = false;
    held_.clear();
    ScriptResult& s = results_.back();
    if (const size_t pending = host.events_scheduled(); pending > 0) {
        const std::string text =
            std::to_string(pending) +
            (pending == 1 ? " scheduled event was" : " scheduled events were") +
            " still pending when the script ended (advance the clock or "
            "make a call that waits for it)";
        stream() << s.name << ": warning: " << text << "\n";
        s.warnings.push_back(s.name + ": " + text);
    }
    const bool failed = options_.strict && !s.warnings.empty();
    if (failed) {
        stream() << s.name << ": " << s.warnings.size()
                 << (s.warnings.size() == 1 ? " warning" : " warnings") << " FAILED (--strict)\n";
        if (tap_) {
            after();
            for (const std::string& w : s.warnings) {
                tap_->warning_failure(s.name, w);
            }
        }
    }
    after();
    return failed;
}

bool RunOutputs::finish() {
    after();
    if (tap_) {
        tap_->finish();
    }
    if (options_.junit.empty()) {
        return true;
    }
    std::ofstream out(options_.junit, std::ios::binary);
    write_junit(out, results_);
    out.flush();
    if (!out) {
        std::cerr << options_.junit << ": error: cannot write the JUnit report\n";
        return false;
    }
    return true;
}

} // namespace opkit_cli
