// Script execution against the emulated host.
#include "runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "compose.h"
#include "render.h"
#include "warnings.h"

namespace opkit_cli {

std::string append_title() {
    std::string title = opkit::append_text;
    if (!title.empty() && title.back() == ':') {
        title.pop_back();
    }
    return title;
}

namespace {

using hostsim::Service;

std::string rtrim(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

// The directive as written, escaped as all script text is shown.
std::string trimmed_source(const Directive& d) {
    std::string s = d.source;
    const size_t first = s.find_first_not_of(" \t");
    s = first == std::string::npos ? std::string() : s.substr(first);
    return printable(rtrim(s));
}

// "1.600 s"
std::string seconds_text(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

std::string function_label(const std::string& record) {
    const Analysis a = analyse(record);
    if (a.layout != nullptr) {
        return a.layout->name;
    }
    return "unknown";
}

} // namespace

std::string notice_in_trace(const std::vector<hostsim::TraceEntry>& trace) {
    std::string notice;
    for (size_t i = 0; i < trace.size(); ++i) {
        const hostsim::TraceEntry& e = trace[i];
        if (e.service != Service::VioWrtCharStr) {
            continue;
        }
        if (e.text == opkit::append_text) {
            notice = "append";
        } else if (e.text == opkit::bad_param_text && i + 1 < trace.size()) {
            notice = trace[i + 1].text; // the code is written next, between the parentheses
        }
    }
    return notice;
}

void Runner::record_outcome(int result, const std::string& notice) {
    last_result_ = result;
    last_notice_ = notice;
    called_ = true;
}

Runner::Runner(Session& session, std::ostream& out, RunOptions options)
    : session_(session), out_(out), options_(options) {}

std::string Runner::clock_text() const {
    return hostsim::format_date_time(session_.host().now());
}

CallReport Runner::call(const std::string& record) {
    return invoke(3, record);
}

CallReport Runner::message(int code) {
    return invoke(code, {});
}

CallReport Runner::invoke(int code, const std::string& record) {
    hostsim::Host& host = session_.host();
    CallReport report;
    // A script on the virtual clock has no operator: a prompt's key wait gets Enter.
    int answered = 0;
    if (host.clock_mode() == hostsim::ClockMode::virtual_time) {
        host.set_key_wait_hook([&answered]() -> std::optional<uint16_t> {
            ++answered;
            return hostsim::key_enter;
        });
    }
    const auto before = host.variables();
    const int stalls_before = host.stall_count();
    const int64_t started_ms = host.now_ms();
    host.clear_trace();
    if (on_call_start) {
        on_call_start(code == 3 ? "call " + quoted_text(record)
                                : "message " + std::to_string(code));
    }
    report.result = code == 3 ? session_.plugin().call(record) : session_.plugin().message(code);
    if (on_call_end) {
        on_call_end();
    }
    host.set_key_wait_hook({});

    report.notice = notice_in_trace(host.trace());
    report.stalls = host.stall_count() - stalls_before;
    report.elapsed_ms = host.now_ms() - started_ms;
    report.auto_key = answered > 0;
    report.changes = variable_changes(before, host.variables());
    record_outcome(report.result, report.notice);
    ++totals_.calls;
    return report;
}

void Runner::print_call(const Directive& d, const CallReport& report) {
    if (options_.quiet) {
        return;
    }
    char head[32];
    std::snprintf(head, sizeof head, "%4d  ", d.line);
    std::string line = head;
    const auto* call = std::get_if<Call>(&d.action);
    if (call != nullptr) {
        std::string label = function_label(call->record);
        label.resize(std::max<size_t>(label.size(), 8), ' ');
        line += label + quoted_text(call->record);
    } else {
        line += "message " + std::to_string(std::get<Message>(d.action).code);
    }
    line += "  => " + std::to_string(report.result);
    std::vector<std::string> notes = report.changes;
    if (!report.notice.empty()) {
        std::string n = report.notice == "append" ? "notice \"" + append_title() + "\""
                                                  : "notice " + report.notice;
        if (report.auto_key) {
            n += ", Enter pressed for its key wait";
        }
        notes.push_back(n);
    } else if (report.auto_key && call == nullptr) {
        notes.push_back("Enter queued to end the self-test");
    }
    if (report.elapsed_ms > 0 && session_.host().clock_mode() == hostsim::ClockMode::virtual_time) {
        notes.push_back("took " + seconds_text(report.elapsed_ms));
    }
    if (report.stalls > 0) {
        notes.push_back(
            "waited for a key with none queued: the host pressed Enter after " +
            std::to_string(hostsim::HostOptions{}.stall_limit) + " empty polls" +
            (report.stalls > 1 ? " (" + std::to_string(report.stalls) + " times)" : ""));
    }
    for (size_t i = 0; i < notes.size(); ++i) {
        line += (i == 0 ? "   " : "; ") + notes[i];
    }
    out_ << line << "\n";
}

namespace {

std::optional<std::string> mismatch(bool ok, const std::string& what) {
    return ok ? std::nullopt : std::optional<std::string>(what);
}

// Each kind of expectation checked against the host: empty when it holds.
class Checker {
  public:
    Checker(const hostsim::Host& host, const Runner& runner, std::optional<int> last_result,
            const std::string& last_notice)
        : host_(host), runner_(runner), last_result_(last_result), last_notice_(last_notice) {}

    std::optional<std::string> operator()(const ExpectResult& e) const {
        if (!last_result_) {
            return std::string("no call has been made yet");
        }
        return mismatch(*last_result_ == e.value, "expected result " + std::to_string(e.value) +
                                                      ", found " + std::to_string(*last_result_));
    }
    std::optional<std::string> operator()(const ExpectVariable& e) const {
        const std::string found = host_.variable(e.variable).value_or("");
        return mismatch(found == e.text, "expected user variable " + std::to_string(e.variable) +
                                             " = " + quoted_text(e.text) + ", found " +
                                             quoted_text(found));
    }
    std::optional<std::string> operator()(const ExpectScreen& e) const {
        if (e.row >= host_.options().rows) {
            return "the screen has rows 0 to " + std::to_string(host_.options().rows - 1);
        }
        const std::string row = host_.screen_row(e.row);
        if (e.column < 0) {
            return mismatch(rtrim(row) == rtrim(e.text), "expected row " + std::to_string(e.row) +
                                                             " " + quoted_text(rtrim(e.text)) +
                                                             ", found " + quoted_text(rtrim(row)));
        }
        const std::string found = static_cast<size_t>(e.column) < row.size()
                                      ? row.substr(static_cast<size_t>(e.column), e.text.size())
                                      : std::string();
        return mismatch(found == e.text, "expected " + quoted_text(e.text) + " at row " +
                                             std::to_string(e.row) + ", column " +
                                             std::to_string(e.column) + ", found " +
                                             quoted_text(found));
    }
    std::optional<std::string> operator()(const ExpectNotice& e) const {
        if (!last_result_) {
            return std::string("no call has been made yet");
        }
        const std::string found =
            last_notice_.empty() ? std::string("no notice")
                                 : "notice " + last_notice_ +
                                       " (row 0: " + quoted_text(rtrim(host_.screen_row(0))) + ")";
        if (e.code == "none") {
            return mismatch(last_notice_.empty(),
                            "expected no notice from the last call, found " + found);
        }
        if (e.code == "any") {
            return mismatch(!last_notice_.empty(),
                            "expected a notice from the last call, found no notice");
        }
        const std::string wanted = e.code == "append" ? "append" : upper(e.code);
        return mismatch(last_notice_ == wanted,
                        "expected notice " + wanted + " from the last call, found " + found);
    }
    std::optional<std::string> operator()(const ExpectKeys& e) const {
        return mismatch(host_.keys_waiting() == static_cast<size_t>(e.count),
                        "expected " + std::to_string(e.count) + " keys queued, found " +
                            std::to_string(host_.keys_waiting()));
    }
    std::optional<std::string> operator()(const ExpectTransaction& e) const {
        return mismatch(host_.transaction_messages() == e.on,
                        std::string("expected transaction messages ") + (e.on ? "on" : "off") +
                            ", found " + (e.on ? "off" : "on"));
    }
    std::optional<std::string> operator()(const ExpectCursor& e) const {
        return mismatch(host_.cursor_row() == e.row && host_.cursor_column() == e.column,
                        "expected the cursor at " + std::to_string(e.row) + " " +
                            std::to_string(e.column) + ", found " +
                            std::to_string(host_.cursor_row()) + " " +
                            std::to_string(host_.cursor_column()));
    }
    std::optional<std::string> operator()(const ExpectAttribute& e) const {
        for (int i = 0; i < e.cells; ++i) {
            const hostsim::Cell cell = host_.cell(e.row, e.column + i);
            if (cell.attribute != e.attribute) {
                return "expected attribute " + std::to_string(e.attribute) + " at row " +
                       std::to_string(e.row) + ", column " + std::to_string(e.column + i) +
                       ", found " + std::to_string(cell.attribute);
            }
        }
        return std::nullopt;
    }
    std::optional<std::string> operator()(const ExpectScreenFile&) const {
        return std::string("screen files are compared by run");
    }
    std::optional<std::string> operator()(const ExpectClock& e) const {
        const std::string wanted = hostsim::format_date_time(e.time);
        return mismatch(runner_.clock_text() == wanted,
                        "expected the clock at " + wanted + ", found " + runner_.clock_text());
    }

  private:
    const hostsim::Host& host_;
    const Runner& runner_;
    std::optional<int> last_result_;
    const std::string& last_notice_;
};

} // namespace

std::optional<std::string> Runner::check(const Expectation& expectation) const {
    return std::visit(
        Checker(session_.host(), *this, called_ ? last_result_ : std::nullopt, last_notice_),
        expectation);
}

void Runner::note(const Directive& d, const std::string& text) {
    if (options_.verbose) {
        char head[32];
        std::snprintf(head, sizeof head, "%4d  ", d.line);
        out_ << head << text << "\n";
    }
}

void Runner::act(const Directive& d, const SetVariable& s, const std::string& where) {
    session_.host().set_variable(s.variable, s.text);
    note(d, "set " + std::to_string(s.variable) + " " + quoted_text(s.text));
    if (s.text.size() > HOSTLIB_VARIABLE_MAX) {
        out_ << where << ":" << d.line << ": note: the host keeps the first "
             << HOSTLIB_VARIABLE_MAX << " characters of a user variable\n";
    }
}

void Runner::act(const Directive& d, const Advance& a, const std::string&) {
    hostsim::Host& host = session_.host();
    if (host.clock_mode() != hostsim::ClockMode::virtual_time) {
        out_ << "advance moves the virtual clock only; this host runs on the real clock (use "
                "clock)\n";
        return;
    }
    // The clock's years end with 2099: a step beyond would leave it where no date is written.
    const int64_t last_ms = hostsim::to_epoch_ms(hostsim::DateTime{2099, 12, 31, 23, 59, 59, 999});
    if (a.ms > last_ms - host.now_ms()) {
        throw std::runtime_error("advance " + seconds_text(a.ms) + " would take the clock past " +
                                 "2099-12-31 23:59:59 (it stands at " + clock_text() + ")");
    }
    host.advance(std::chrono::milliseconds(a.ms));
    note(d, "advance: clock " + clock_text());
}

void Runner::act(const Directive& d, const Clear&, const std::string&) {
    hostsim::Host& host = session_.host();
    for (int r = 0; r < host.options().rows; ++r) {
        host.write_screen(r, 0, std::string(static_cast<size_t>(host.options().columns), ' '), 0);
    }
    note(d, "screen cleared");
}

void Runner::act(const Directive& d, const At& at, const std::string&) {
    hostsim::Host& host = session_.host();
    int64_t when = host.now_ms() + at.offset_ms;
    if (at.base == At::Base::absolute) {
        when = hostsim::to_epoch_ms(at.time);
    } else if (at.base == At::Base::time_of_day) {
        hostsim::DateTime t = host.now();
        t.hour = at.time.hour;
        t.minute = at.time.minute;
        t.second = at.time.second;
        t.millisecond = 0;
        when = hostsim::to_epoch_ms(t);
    }
    if (const auto* keys = std::get_if<PressKeys>(&at.event)) {
        for (const uint16_t k : keys->keys) {
            host.schedule(when, hostsim::KeyEvent{k});
        }
    } else if (const auto* set = std::get_if<SetVariable>(&at.event)) {
        host.schedule(when, hostsim::VariableEvent{set->variable, set->text});
    } else {
        host.schedule(when, hostsim::StopEvent{});
    }
    note(d, trimmed_source(d));
}

void Runner::act(const Directive& d, const Expect& e, const std::string&) {
    ++totals_.expectations;
    if (std::holds_alternative<ExpectNotice>(e.what)) {
        pending_notice_.reset(); // the notice is expected, whether as this one or not
    }
    const auto* file = std::get_if<ExpectScreenFile>(&e.what);
    const auto failure =
        file != nullptr && check_screen_file ? check_screen_file(d, *file) : check(e.what);
    if (!failure) {
        note(d, "ok  " + trimmed_source(d));
    } else {
        ++totals_.failures;
    }
    report(CheckOutcome{d.line, trimmed_source(d), failure, last_call_, false});
}

void Runner::report(const CheckOutcome& outcome) {
    if (outcome.failure && options_.print_failures) {
        out_ << where_ << ":" << outcome.line << ": "
             << (options_.ansi ? "\x1b[31mFAIL\x1b[0m" : "FAIL") << " " << outcome.source
             << "\n      " << printable(*outcome.failure, true) << "\n";
    }
    if (on_expectation) {
        on_expectation(outcome);
    }
}

void Runner::settle_notice() {
    if (!pending_notice_) {
        return;
    }
    const PendingNotice notice = *pending_notice_;
    pending_notice_.reset();
    if (options_.allow_notices) {
        return;
    }
    ++totals_.expectations;
    ++totals_.failures;
    const std::string wanted = notice.code == "append" ? "append" : notice.code;
    report(
        CheckOutcome{notice.line, "unexpected notice " + wanted + " from " + notice.what,
                     "the call showed notice " + wanted +
                         " and no expect notice follows it before the next call (expect notice " +
                         wanted + " accepts it; run --allow-notices accepts every notice)",
                     "line " + std::to_string(notice.line) + ": " + notice.what, true});
}

void Runner::finish() {
    settle_notice();
}

void Runner::called(const Directive& d, const CallReport& report) {
    const auto* call = std::get_if<Call>(&d.action);
    const std::string what = call != nullptr
                                 ? "call " + quoted_text(call->record)
                                 : "message " + std::to_string(std::get<Message>(d.action).code);
    last_call_ = "line " + std::to_string(d.line) + ": " + what;
    if (!report.notice.empty()) {
        pending_notice_ = PendingNotice{d.line, report.notice, what};
    }
    print_call(d, report);
    if (on_call) {
        on_call(d, report);
    }
}

void Runner::act(const Directive&, const Show& s, const std::string&) {
    const hostsim::Host& host = session_.host();
    switch (s.what) {
    case ShowWhat::screen:
        out_ << render_screen(take_picture(host), options_.ansi, s.first_row, s.last_row);
        break;
    case ShowWhat::vars: out_ << render_variables(host.variables()); break;
    case ShowWhat::trace:
        for (const std::string& line : render_trace(host.trace())) {
            out_ << "      " << line << "\n";
        }
        break;
    case ShowWhat::clock: {
        char ms[8];
        std::snprintf(ms, sizeof ms, ".%03d", host.now().millisecond);
        out_ << "      clock " << clock_text() << ms << "\n";
        break;
    }
    case ShowWhat::keys: out_ << "      " << host.keys_waiting() << " keys queued\n"; break;
    }
}

void Runner::act(const Directive& d, const Reload&, const std::string&) {
    std::string error;
    if (!session_.reload(error)) {
        throw std::runtime_error("cannot reload the plug-in: " + error);
    }
    note(d, "plug-in reloaded: its counters, lists and box start from zero");
}

// The directives that need no more than a line.
void Runner::act_line(const Directive& d) {
    hostsim::Host& host = session_.host();
    const Action& action = d.action;
    if (const auto* call = std::get_if<Call>(&action)) {
        settle_notice();
        return called(d, this->call(call->record));
    }
    if (const auto* message = std::get_if<Message>(&action)) {
        settle_notice();
        return called(d, this->message(message->code));
    }
    if (const auto* echo = std::get_if<Echo>(&action)) {
        out_ << printable(echo->text, true) << "\n";
    } else if (const auto* explain = std::get_if<ExplainRecord>(&action)) {
        // Shown as `explain` shows it, warnings included; only a call's warnings count
        // under --strict.
        const Analysis a = analyse(explain->record);
        out_ << render_explanation(a) << render_warnings(record_warnings(a), "");
    } else if (const auto* clock = std::get_if<SetClock>(&action)) {
        host.set_clock(clock->time);
        note(d, "clock " + clock_text());
    } else if (std::holds_alternative<Stop>(action)) {
        host.request_stop();
        note(d, "stop requested");
    } else {
        if (const auto* r = std::get_if<Readability>(&action)) {
            session_.set_unreadable(r->variable, !r->readable);
        } else if (const auto* keys = std::get_if<PressKeys>(&action)) {
            for (const uint16_t k : keys->keys) {
                host.press_key(k);
            }
        } else if (const auto* w = std::get_if<Write>(&action)) {
            host.write_screen(w->row, w->column, w->text, w->attribute);
        }
        note(d, trimmed_source(d));
    }
}

void Runner::execute(const Directive& d, const std::string& where) {
    where_ = where;
    std::visit([&](const auto& action) { act(d, action, where); }, d.action);
}

ScriptTotals Runner::run(const Script& script) {
    const ScriptTotals start = totals_;
    for (const Directive& d : script.directives) {
        execute(d, script.name);
    }
    where_ = script.name;
    finish();
    ScriptTotals mine;
    mine.calls = totals_.calls - start.calls;
    mine.expectations = totals_.expectations - start.expectations;
    mine.failures = totals_.failures - start.failures;
    return mine;
}

} // namespace opkit_cli
