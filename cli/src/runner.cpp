// Script execution against the emulated host.
#include "runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "render.h"

namespace opkit_cli {

namespace {

using hostsim::Service;

std::string rtrim(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

std::string trimmed_source(const Directive& d) {
    std::string s = d.source;
    const size_t first = s.find_first_not_of(" \t");
    s = first == std::string::npos ? std::string() : s.substr(first);
    return rtrim(s);
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
        if (e.text == "CFR append too long:") {
            notice = "append";
        } else if (e.text == "Bad CCFR(  ):" && i + 1 < trace.size()) {
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
        on_call_start(code == 3 ? "call " + quote_record(record)
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
    if (d.verb == Verb::call) {
        std::string label = function_label(d.record);
        label.resize(std::max<size_t>(label.size(), 8), ' ');
        line += label + quote_record(d.record);
    } else {
        line += "message " + std::to_string(d.number);
    }
    line += "  => " + std::to_string(report.result);
    std::vector<std::string> notes = report.changes;
    if (!report.notice.empty()) {
        std::string n = report.notice == "append" ? "notice \"CFR append too long\""
                                                  : "notice " + report.notice;
        if (report.auto_key) {
            n += ", Enter pressed for its key wait";
        }
        notes.push_back(n);
    } else if (report.auto_key && d.verb == Verb::message) {
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

std::optional<std::string> check_screen(const hostsim::Host& host, const Directive& d) {
    if (d.number >= host.options().rows) {
        return "the screen has rows 0 to " + std::to_string(host.options().rows - 1);
    }
    const std::string row = host.screen_row(d.number);
    if (d.column < 0) {
        if (rtrim(row) != rtrim(d.text)) {
            return "expected row " + std::to_string(d.number) + " " + quoted(rtrim(d.text)) +
                   ", found " + quoted(rtrim(row));
        }
        return std::nullopt;
    }
    const std::string found = static_cast<size_t>(d.column) < row.size()
                                  ? row.substr(static_cast<size_t>(d.column), d.text.size())
                                  : std::string();
    if (found != d.text) {
        return "expected " + quoted(d.text) + " at row " + std::to_string(d.number) + ", column " +
               std::to_string(d.column) + ", found " + quoted(found);
    }
    return std::nullopt;
}

std::optional<std::string> check_notice(const hostsim::Host& host, const Directive& d,
                                        const std::string& last_notice) {
    const std::string row = rtrim(host.screen_row(0));
    if (d.text == "none") {
        if (!last_notice.empty()) {
            return "expected no notice from the last call, found notice " + last_notice + ": " +
                   quoted(row);
        }
        return std::nullopt;
    }
    const std::string wanted =
        d.text == "append" ? "CFR append too long:" : "Bad CCFR(" + d.text + "):";
    if (row.rfind(wanted, 0) != 0) {
        return "expected row 0 to start with " + quoted(wanted) + ", found " + quoted(row);
    }
    return std::nullopt;
}

std::optional<std::string> check_attribute(const hostsim::Host& host, const Directive& d) {
    const int wanted = std::stoi(d.text);
    for (int i = 0; i < static_cast<int>(d.duration_ms); ++i) {
        const hostsim::Cell cell = host.cell(d.number, d.column + i);
        if (cell.attribute != wanted) {
            return "expected attribute " + d.text + " at row " + std::to_string(d.number) +
                   ", column " + std::to_string(d.column + i) + ", found " +
                   std::to_string(cell.attribute);
        }
    }
    return std::nullopt;
}

std::optional<std::string> mismatch(bool ok, const std::string& what) {
    return ok ? std::nullopt : std::optional<std::string>(what);
}

} // namespace

std::optional<std::string> Runner::check(const Directive& d) {
    const hostsim::Host& host = session_.host();
    switch (d.expect) {
    case ExpectWhat::result:
        if (!called_) {
            return std::string("no call has been made yet");
        }
        return mismatch(*last_result_ == d.number, "expected result " + std::to_string(d.number) +
                                                       ", found " + std::to_string(*last_result_));
    case ExpectWhat::variable: {
        const std::string found = host.variable(d.number).value_or("");
        return mismatch(found == d.text, "expected user variable " + std::to_string(d.number) +
                                             " = " + quoted(d.text) + ", found " + quoted(found));
    }
    case ExpectWhat::screen: return check_screen(host, d);
    case ExpectWhat::notice: return check_notice(host, d, last_notice_);
    case ExpectWhat::keys:
        return mismatch(host.keys_waiting() == static_cast<size_t>(d.number),
                        "expected " + std::to_string(d.number) + " keys queued, found " +
                            std::to_string(host.keys_waiting()));
    case ExpectWhat::transaction:
        return mismatch(host.transaction_messages() == d.flag,
                        std::string("expected transaction messages ") + (d.flag ? "on" : "off") +
                            ", found " + (d.flag ? "off" : "on"));
    case ExpectWhat::cursor:
        return mismatch(host.cursor_row() == d.number && host.cursor_column() == d.column,
                        "expected the cursor at " + std::to_string(d.number) + " " +
                            std::to_string(d.column) + ", found " +
                            std::to_string(host.cursor_row()) + " " +
                            std::to_string(host.cursor_column()));
    case ExpectWhat::attribute: return check_attribute(host, d);
    case ExpectWhat::screen_file:
        return check_screen_file ? check_screen_file(d)
                                 : std::optional<std::string>("screen files are compared by run");
    case ExpectWhat::clock:
        return mismatch(clock_text() == hostsim::format_date_time(d.time),
                        "expected the clock at " + hostsim::format_date_time(d.time) + ", found " +
                            clock_text());
    }
    return std::nullopt;
}

void Runner::note(const Directive& d, const std::string& text) {
    if (options_.verbose) {
        char head[32];
        std::snprintf(head, sizeof head, "%4d  ", d.line);
        out_ << head << text << "\n";
    }
}

// The directives that change what the host holds: variables, keys, clock, screen, plug-in.
void Runner::change_host(const Directive& d, const std::string& where) {
    hostsim::Host& host = session_.host();
    switch (d.verb) {
    case Verb::set:
        host.set_variable(d.number, d.text);
        note(d, "set " + std::to_string(d.number) + " " + quoted(d.text));
        if (d.text.size() > HOSTLIB_VARIABLE_MAX) {
            out_ << where << ":" << d.line << ": note: the host keeps the first "
                 << HOSTLIB_VARIABLE_MAX << " characters of a user variable\n";
        }
        return;
    case Verb::unreadable:
    case Verb::readable: session_.set_unreadable(d.number, d.verb == Verb::unreadable); break;
    case Verb::key:
        for (const uint16_t k : d.keys) {
            host.press_key(k);
        }
        break;
    case Verb::clock: host.set_clock(d.time); return note(d, "clock " + clock_text());
    case Verb::advance:
        if (host.clock_mode() != hostsim::ClockMode::virtual_time) {
            out_ << "advance moves the virtual clock only; this host runs on the real clock (use "
                    "clock)\n";
            return;
        }
        host.advance(std::chrono::milliseconds(d.duration_ms));
        return note(d, "advance: clock " + clock_text());
    case Verb::stop: host.request_stop(); return note(d, "stop requested");
    case Verb::write:
        host.write_screen(d.number, d.column, d.text,
                          static_cast<uint8_t>(d.flag ? d.duration_ms : 0));
        break;
    case Verb::clear:
        for (int r = 0; r < host.options().rows; ++r) {
            host.write_screen(r, 0, std::string(static_cast<size_t>(host.options().columns), ' '),
                              0);
        }
        return note(d, "screen cleared");
    default: return;
    }
    note(d, trimmed_source(d));
}

void Runner::schedule(const Directive& d) {
    hostsim::Host& host = session_.host();
    int64_t at = 0;
    if (d.at_base == Directive::AtBase::relative) {
        at = host.now_ms() + d.duration_ms;
    } else if (d.at_base == Directive::AtBase::absolute) {
        at = hostsim::to_epoch_ms(d.time);
    } else {
        hostsim::DateTime t = host.now();
        t.hour = d.time.hour;
        t.minute = d.time.minute;
        t.second = d.time.second;
        t.millisecond = 0;
        at = hostsim::to_epoch_ms(t);
    }
    switch (d.event.kind) {
    case AtEvent::Kind::key:
        for (const uint16_t k : d.event.keys) {
            host.schedule(at, hostsim::KeyEvent{k});
        }
        break;
    case AtEvent::Kind::set:
        host.schedule(at, hostsim::VariableEvent{d.event.variable, d.event.text});
        break;
    case AtEvent::Kind::stop: host.schedule(at, hostsim::StopEvent{}); break;
    }
    note(d, trimmed_source(d));
}

void Runner::expect(const Directive& d, const std::string& where) {
    ++totals_.expectations;
    const auto failure = check(d);
    if (!failure) {
        note(d, "ok  " + trimmed_source(d));
    } else {
        ++totals_.failures;
        out_ << where << ":" << d.line << ": " << (options_.ansi ? "\x1b[31mFAIL\x1b[0m" : "FAIL")
             << " " << trimmed_source(d) << "\n      " << *failure << "\n";
    }
    if (on_expectation) {
        on_expectation(d, failure);
    }
}

void Runner::show(const Directive& d) {
    const hostsim::Host& host = session_.host();
    switch (d.show) {
    case ShowWhat::screen:
        out_ << render_screen(take_picture(host), options_.ansi, d.number, d.column);
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

void Runner::execute(const Directive& d, const std::string& where) {
    switch (d.verb) {
    case Verb::call: return print_call(d, call(d.record));
    case Verb::message: return print_call(d, message(d.number));
    case Verb::at: return schedule(d);
    case Verb::expect: return expect(d, where);
    case Verb::show: return show(d);
    case Verb::echo: out_ << d.text << "\n"; return;
    case Verb::explain: out_ << render_explanation(analyse(d.record)); return;
    case Verb::reload: {
        std::string error;
        if (!session_.reload(error)) {
            throw std::runtime_error("cannot reload the plug-in: " + error);
        }
        return note(d, "plug-in reloaded: its counters, lists and box start from zero");
    }
    default: return change_host(d, where);
    }
}

ScriptTotals Runner::run(const Script& script) {
    const ScriptTotals start = totals_;
    for (const Directive& d : script.directives) {
        execute(d, script.name);
    }
    ScriptTotals mine;
    mine.calls = totals_.calls - start.calls;
    mine.expectations = totals_.expectations - start.expectations;
    mine.failures = totals_.failures - start.failures;
    return mine;
}

} // namespace opkit_cli
