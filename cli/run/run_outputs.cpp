// Record warnings, failure traces, pending events, JUnit, TAP and JSON around `run`.
#include "run_outputs.h"

#include <ctime>
#include <filesystem>

#include "locate.h"
#include "output.h"
#include "render.h"
#include "screen_file.h"
#include "warnings.h"

namespace opkit_cli {

namespace {

// Now, UTC, as JUnit's timestamps are written: 2026-12-10T13:21:00.
std::string utc_timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    return text;
}

double seconds_between(std::chrono::steady_clock::time_point from,
                       std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

RunOutputs::RunOutputs(RunOutputOptions options) : options_(std::move(options)) {
    if (options_.tap) {
        tap_.emplace(std::cout);
    }
    if (!options_.html.empty()) {
        const std::string& plugin = options_.plugin;
        html_ = std::make_unique<HtmlRecorder>(
            options_.html,
            HtmlPlugin{printable(describe_plugin_file(plugin)),
                       plugin.empty() ? "" : plugin_file_version(plugin)},
            utc_timestamp());
    }
}

// Writes the report that stands while the run is under way.
bool RunOutputs::start() {
    if (html_) {
        if (const std::string problem = html_->start(); !problem.empty()) {
            std::cerr << printable(options_.html)
                      << ": error: cannot write the HTML report: " << problem << "\n";
            return false;
        }
    }
    if (options_.junit.empty()) {
        return true;
    }
    if (const std::string problem = write_file(options_.junit, junit_unfinished());
        !problem.empty()) {
        std::cerr << printable(options_.junit)
                  << ": error: cannot write the JUnit report: " << problem << "\n";
        return false;
    }
    return true;
}

std::ostream& RunOutputs::stream() {
    return options_.tap || options_.quiet || options_.json ? static_cast<std::ostream&>(buffer_)
                                                           : std::cout;
}

void RunOutputs::begin_script(const std::string& name, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    close_script();
    held_.clear();
    path_ = path;
    open_ = true;
    if (!keep() && !results_.empty()) {
        results_.clear(); // only the script under way is needed
    }
    results_.push_back(ScriptResult{});
    ScriptResult& s = results_.back();
    s.name = name;
    s.strict = options_.strict;
    s.timestamp = utc_timestamp();
    if (html_) {
        html_->begin_script(name);
    }
    script_start_ = last_point_ = std::chrono::steady_clock::now();
}

void RunOutputs::before(const Directive& d) {
    // Echo lines after some other directive start a new heading: one held before it had
    // nothing to head.
    const bool echo = options_.quiet && std::holds_alternative<Echo>(d.action);
    if (echo && !holding_echo_) {
        held_.clear();
    }
    holding_echo_ = echo;
    const auto* expect = std::get_if<Expect>(&d.action);
    expecting_ = expect != nullptr ? &expect->what : nullptr;
    screen_file_.clear();
    const auto* call = std::get_if<Call>(&d.action);
    if (call == nullptr) {
        return;
    }
    ScriptResult& s = results_.back();
    for (const RecordWarning& w : record_warnings(call->record)) {
        const std::string where = s.name + ":" + std::to_string(d.line);
        stream() << where << ": warning: " << w.message << "\n";
        std::lock_guard<std::mutex> lock(mutex_);
        s.warnings.push_back(where + ": " + w.message);
    }
}

void RunOutputs::emit(const std::string& text) {
    if (options_.json) {
        return; // standard output holds the JSON alone
    }
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

void RunOutputs::expectation(const CheckOutcome& outcome, const hostsim::Host& host) {
    const auto now = std::chrono::steady_clock::now();
    ExpectationResult e;
    e.line = outcome.line;
    e.source = outcome.source;
    e.failure = outcome.failure;
    e.call = outcome.call;
    e.kind = outcome.unexpected_notice ? "unexpected notice" : "expectation";
    e.seconds = seconds_between(last_point_, now);
    last_point_ = now;
    if (outcome.failure && options_.trace_on_failure && !outcome.unexpected_notice) {
        // The trace holds the host calls of the last call into the plug-in.
        e.trace = render_trace(host.trace());
        if (!tap_ && !options_.json) {
            stream() << "      host calls of the last call:"
                     << (e.trace.empty() ? " none\n" : "\n");
            for (const std::string& line : e.trace) {
                stream() << "        " << line << "\n";
            }
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (html_) {
        html_->expectation(outcome, outcome.unexpected_notice ? nullptr : expecting_, screen_file_,
                           host);
    }
    if (tap_) {
        after(); // what the runner printed before it comes first
        tap_->expectation(results_.back().name, e);
    }
    // Only the reports written at the end need every expectation kept; without them memory
    // stays flat however long the scripts are.
    if (keep()) {
        results_.back().expectations.push_back(std::move(e));
    }
}

void RunOutputs::before_call(const hostsim::Host& host) {
    if (html_) {
        std::lock_guard<std::mutex> lock(mutex_);
        html_->before_call(host);
    }
}

void RunOutputs::call(const Directive& d, const CallReport& report, const hostsim::Host& host) {
    if (html_) {
        std::lock_guard<std::mutex> lock(mutex_);
        html_->call(d, report, host);
    }
    if (!options_.json) {
        return;
    }
    CallResult c;
    c.line = d.line;
    if (const auto* call = std::get_if<Call>(&d.action)) {
        c.what = call->record;
    } else {
        c.what = "message " + std::to_string(std::get<Message>(d.action).code);
        c.message = true;
    }
    c.result = report.result;
    c.notice = report.notice;
    c.changes = report.changes;
    c.elapsed_ms = report.elapsed_ms;
    std::lock_guard<std::mutex> lock(mutex_);
    results_.back().calls.push_back(std::move(c));
}

std::optional<std::string> RunOutputs::screen_file(const Directive& d, const ExpectScreenFile& file,
                                                   const hostsim::Host& host) {
    std::filesystem::path path(file.path);
    if (path.is_relative() && path_ != "-") {
        path = std::filesystem::path(path_).parent_path() / path;
    }
    std::string note;
    std::vector<std::string> inputs = options_.inputs;
    for (const std::string* report : {&options_.junit, &options_.html}) {
        if (!report->empty()) {
            inputs.push_back(*report);
        }
    }
    screen_file_ = path.string();
    auto failure = compare_screen_file(host, path.string(), file.attributes,
                                       options_.update_screens, note, inputs);
    if (!note.empty()) {
        stream() << results_.back().name << ":" << d.line << ": " << note << "\n";
    }
    return failure;
}

void RunOutputs::script_error(const ScriptFailure& failure) {
    after();
    std::lock_guard<std::mutex> lock(mutex_);
    ScriptResult& s = results_.back();
    s.errors.push_back(failure);
    if (html_) {
        html_->script_error(failure);
    }
    if (tap_) {
        std::string place = s.name;
        if (failure.line > 0) {
            place += ":" + std::to_string(failure.line) +
                     (failure.column > 0 ? ":" + std::to_string(failure.column) : "");
        }
        tap_->bail_out(place + ": " + failure.kind + ": " + failure.message);
    }
}

void RunOutputs::not_run(const std::string& name, const std::vector<ScriptFailure>& errors) {
    std::lock_guard<std::mutex> lock(mutex_);
    ScriptResult s;
    s.name = name;
    s.timestamp = utc_timestamp();
    s.errors = errors;
    s.run = !errors.empty(); // a script in error ran no further than its check
    if (html_) {
        html_->not_run(name, errors);
    }
    if (tap_) {
        for (const ScriptFailure& f : errors) {
            tap_->comment_lines(name + ":" + std::to_string(f.line) + ":" +
                                std::to_string(f.column) + ": " + f.kind + ": " + f.message);
        }
    }
    results_.push_back(std::move(s));
}

void RunOutputs::bail_out(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tap_) {
        tap_->bail_out(reason);
    }
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
        std::lock_guard<std::mutex> lock(mutex_);
        s.warnings.push_back(s.name + ": " + text);
    }
    const bool failed = options_.strict && !s.warnings.empty();
    if (html_) {
        std::lock_guard<std::mutex> lock(mutex_);
        html_->end_script(s.warnings, failed);
    }
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

void RunOutputs::close_script() {
    if (!open_) {
        return;
    }
    open_ = false;
    ScriptResult& s = results_.back();
    s.seconds = seconds_between(script_start_, std::chrono::steady_clock::now());
}

void RunOutputs::hang(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (results_.empty()) {
        return;
    }
    results_.back().errors.push_back({"error", 0, 0, message});
    if (html_) {
        html_->script_error(results_.back().errors.back());
    }
    close_script();
    if (tap_) {
        tap_->bail_out(results_.back().name + ": " + message);
    }
    if (options_.json) {
        std::cout << (json_started_ ? ",\n " : "[") << script_json(results_.back()) << "]\n";
    }
    write_junit();
    write_html();
    std::cout.flush();
}

bool RunOutputs::write_junit() {
    if (options_.junit.empty()) {
        return true;
    }
    if (const std::string problem = write_file(options_.junit, junit_report(results_));
        !problem.empty()) {
        std::cerr << printable(options_.junit)
                  << ": error: cannot write the JUnit report: " << problem << "\n";
        return false;
    }
    return true;
}

bool RunOutputs::write_html() {
    if (!html_) {
        return true;
    }
    if (const std::string problem = html_->write(); !problem.empty()) {
        std::cerr << printable(options_.html)
                  << ": error: cannot write the HTML report: " << problem << "\n";
        return false;
    }
    return true;
}

bool RunOutputs::finish() {
    after();
    std::lock_guard<std::mutex> lock(mutex_);
    close_script();
    if (options_.json) {
        std::cout << (json_started_ ? "" : "[");
        for (size_t i = 0; i < results_.size(); ++i) {
            std::cout << (i == 0 ? "" : ",\n ") << script_json(results_[i]);
        }
        std::cout << "]\n";
        json_started_ = true;
    }
    if (tap_) {
        tap_->finish();
    }
    const bool junit = write_junit();
    return write_html() && junit;
}

} // namespace opkit_cli
