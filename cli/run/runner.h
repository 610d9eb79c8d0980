// Running host scripts against a session: each directive acts on the emulated host or calls
// the plug-in, expectations are checked and reported with their script line, and notices get
// the key they wait for, with a word in the output saying so.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "script.h"
#include "session.h"

namespace opkit_cli {

// The append notice's text without its closing colon, as reports name it.
std::string append_title();

struct RunOptions {
    bool verbose = false;       // also print passing expectations and host directives
    bool quiet = false;         // print only failures, show/echo output and the summary
    bool ansi = false;          // reverse video and colour in the output
    bool print_failures = true; // FAIL lines in the report (TAP and JSON give them their way)
    bool allow_notices = false; // a notice that no expect notice follows fails nothing
};

// An expectation as checked, or a notice that no expectation took.
struct CheckOutcome {
    int line = 0;
    std::string source;                 // what was checked, escaped
    std::optional<std::string> failure; // what was found instead, when it failed
    std::string call;                   // the last call before it, or ""
    bool unexpected_notice = false;
};

// What one call or message did.
struct CallReport {
    int result = 0;
    std::string notice;               // "M1", ..., "append" or empty
    bool auto_key = false;            // Enter answered the key wait of a notice or the self-test
    int stalls = 0;                   // keys the host pressed itself because nothing was queued
    std::vector<std::string> changes; // user variables changed
    int64_t elapsed_ms = 0;           // time the call took on the host's clock
};

struct ScriptTotals {
    int calls = 0;
    int expectations = 0;
    int failures = 0;
};

// The notice a call showed, from the trace of its service calls: its code, "append" or empty.
std::string notice_in_trace(const std::vector<hostsim::TraceEntry>& trace);

class Runner {
  public:
    Runner(Session& session, std::ostream& out, RunOptions options);

    // Runs every directive of the script; the totals count its expectations and failures.
    ScriptTotals run(const Script& script);

    // Runs one directive; used by `run`, `call` and the shell. `where` names the script.
    void execute(const Directive& directive, const std::string& where);

    // Calls the plug-in with message 3 and the record, or with another message code.
    CallReport call(const std::string& record);
    CallReport message(int code);

    // Takes note of a call made elsewhere (the shell's worker), for later expectations.
    void record_outcome(int result, const std::string& notice);

    // Checks an expectation; empty when it holds, else what was found instead.
    std::optional<std::string> check(const Expectation& expectation) const;

    // The host's clock in script form (YYYY-MM-DD HH:MM:SS).
    std::string clock_text() const;

    const ScriptTotals& totals() const { return totals_; }

    // Called just before and after each call into the plug-in (the watchdog of `run`).
    std::function<void(const std::string& what)> on_call_start;
    std::function<void()> on_call_end;
    // Called after each expectation is checked and reported.
    std::function<void(const CheckOutcome&)> on_expectation;
    // Called after each call or message, with what it did.
    std::function<void(const Directive&, const CallReport&)> on_call;

    // Ends a script: a notice of its last call that no expect notice followed fails now.
    void finish();
    // Compares the screen with the file an `expect screen FILE` names; unset, such an
    // expectation fails.
    std::function<std::optional<std::string>(const Directive&, const ExpectScreenFile&)>
        check_screen_file;

  private:
    CallReport invoke(int code, const std::string& record);
    void print_call(const Directive& d, const CallReport& report);
    void note(const Directive& d, const std::string& text); // printed when verbose
    // What each directive does; the generic one takes those that need no more than a line.
    void act(const Directive& d, const SetVariable& s, const std::string& where);
    void act(const Directive& d, const Advance& a, const std::string& where);
    void act(const Directive& d, const Clear& c, const std::string& where);
    void act(const Directive& d, const At& at, const std::string& where);
    void act(const Directive& d, const Expect& e, const std::string& where);
    void act(const Directive& d, const Show& s, const std::string& where);
    void act(const Directive& d, const Reload& r, const std::string& where);
    template <typename T> void act(const Directive& d, const T&, const std::string&) {
        act_line(d);
    }
    void act_line(const Directive& d);
    void report(const CheckOutcome& outcome);
    // A notice of the call before that no expect notice took: a failure, unless allowed.
    void settle_notice();
    void called(const Directive& d, const CallReport& report);

    Session& session_;
    std::ostream& out_;
    RunOptions options_;
    ScriptTotals totals_;
    std::optional<int> last_result_;
    std::string last_notice_;
    bool called_ = false;
    std::string last_call_; // "line 3: call \"...\"" for failure messages
    struct PendingNotice {
        int line;
        std::string code;
        std::string what; // call "..." or message N
    };
    std::optional<PendingNotice> pending_notice_;
    std::string where_; // the script, for FAIL lines
};

} // namespace opkit_cli
