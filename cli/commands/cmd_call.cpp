// opkit-host call: records run in turn against a host prepared from the command line, with
// the result, any notice, the user variables changed and the screen printed.
#include <iostream>

#include "app.h"
#include "compose.h"
#include "render.h"
#include "report_formats.h"
#include "runner.h"
#include "warnings.h"

namespace opkit_cli {

namespace {

struct CallArgs {
    std::vector<std::string> records;
    std::vector<std::string> sets;
    std::vector<int> unreadable;
    std::vector<std::string> keys;
    std::string clock;
    bool trace = false;
    bool strict = false;
    bool json = false;
};

// Puts the host in the state the options give. Throws Failure saying what is wrong.
void prepare_host(Session& session, const CallArgs& o) {
    hostsim::Host& host = session.host();
    for (const std::string& s : o.sets) {
        const size_t eq = s.find('=');
        const auto number =
            eq == std::string::npos ? std::nullopt : parse_variable(s.substr(0, eq));
        if (!number) {
            throw Failure("opkit-host: --set " + s + ": write NUMBER=TEXT with NUMBER " +
                          std::to_string(opkit::variable_low) + " to " +
                          std::to_string(opkit::variable_high) + ", for example --set 3=abc");
        }
        host.set_variable(*number, s.substr(eq + 1));
    }
    for (const int v : o.unreadable) {
        session.set_unreadable(v, true);
    }
    try {
        for (const std::string& k : o.keys) {
            for (const uint16_t code : parse_keys(k)) {
                host.press_key(code);
            }
        }
    } catch (const ScriptError& e) {
        throw Failure(std::string("opkit-host: --key: ") + e.what());
    }
    if (!o.clock.empty()) {
        const auto time = hostsim::parse_date_time(o.clock);
        if (!time) {
            throw Failure("opkit-host: --clock must be YYYY-MM-DD HH:MM:SS (years 2000 to 2099), "
                          "not \"" +
                          o.clock + "\"");
        }
        host.set_clock(*time);
    }
}

void print_report(const std::string& record, const CallReport& report, const hostsim::Host& host,
                  bool trace) {
    const Analysis a = analyse(record);
    std::cout << (a.layout != nullptr ? a.layout->name : "unknown") << " " << quoted_text(record)
              << " => result " << report.result << "\n";
    if (!report.notice.empty()) {
        std::cout << "notice " << report.notice
                  << (report.auto_key ? " (the key it waits for was pressed: Enter)" : "") << "\n";
    }
    if (report.stalls > 0) {
        std::cout << "the call waited for a key with none queued: the host pressed Enter\n";
    }
    if (trace) {
        for (const std::string& line : render_trace(host.trace())) {
            std::cout << "  " << line << "\n";
        }
    }
    if (report.changes.empty()) {
        std::cout << "user variables: no change\n";
    }
    for (const std::string& change : report.changes) {
        std::cout << change << "\n";
    }
}

int command_call(const Globals& g, const CallArgs& o) {
    for (const std::string& record : o.records) {
        if (const std::string why = record_too_long(record); !why.empty()) {
            throw Failure("opkit-host: " + why);
        }
    }
    const std::unique_ptr<Session> session = open_session(g, hostsim::ClockMode::virtual_time);
    prepare_host(*session, o);
    const bool ansi = use_ansi(g);
    std::ostringstream quiet;
    Runner runner(*session, quiet, RunOptions{false, false, ansi});
    bool notice = false;
    bool warned = false;
    for (const std::string& record : o.records) {
        const std::vector<RecordWarning> warnings = record_warnings(record);
        warned = warned || !warnings.empty();
        const CallReport report = runner.call(record);
        notice = notice || !report.notice.empty();
        if (o.json) {
            std::cout << (&record == &o.records.front() ? "[" : ",\n ")
                      << call_json(record, report, session->host());
            continue;
        }
        print_report(record, report, session->host(), o.trace);
        std::cout << render_warnings(warnings, "");
    }
    if (o.json) {
        std::cout << "]\n";
    } else {
        std::cout << render_screen(take_picture(session->host()), ansi);
    }
    // The same status explain gives for the record: 1 when a call raised a notice.
    return notice || (o.strict && warned) ? exit_failed : exit_ok;
}

constexpr const char* call_footer = R"TXT(
Prints the result, any notice, the user variables that changed and the screen.
Warnings (as explain gives them) follow a call whose record holds text no field
reads, length digits that disagree with its length, or a field past its end.
Exit status: 0 no call raised a notice, 1 some call did (as explain says for the
record) or, with --strict, a record has a warning, 2 bad options or the plug-in
could not be loaded.

Examples:
  opkit-host call "29CMP_INT   03  GE   04       S" --set 3=12 --set 4=9
  opkit-host call "$(opkit-host compose INTMATH left=2 operator=+ right=3)" --set 2=40 --set 3=2
  opkit-host call "21DICOUNT I         05 " "32DICOUNT S         05         03 "
  opkit-host call --json "10TRANMSG N "
)TXT";

} // namespace

Command add_call_command(CLI::App& app, const Globals& g) {
    auto o = std::make_shared<CallArgs>();
    CLI::App* call =
        app.add_subcommand("call", "make calls and show the result, variables and screen");
    call->add_option("records", o->records, "call records, run in turn")->required();
    call->add_option("--set", o->sets, "a user variable before the call: NUMBER=TEXT");
    call->add_option("--unreadable", o->unreadable, "a user variable the host cannot read")
        ->check(CLI::Range(opkit::variable_low, opkit::variable_high));
    call->add_option("--key", o->keys, "a key queued before the call (13, enter, esc, abort, ...)");
    call->add_option("--clock", o->clock, "the clock: \"YYYY-MM-DD HH:MM:SS\"");
    call->add_flag("--trace", o->trace, "print the host services each call asked for");
    call->add_flag("--json", o->json,
                   "print a JSON array: per call its result, notice, changes, warnings, screen");
    call->add_flag("--strict", o->strict, "a record warning fails like a notice (exit status 1)");
    call->footer(call_footer);
    return [call, o, &g] { return call->parsed() ? command_call(g, *o) : -1; };
}

} // namespace opkit_cli
