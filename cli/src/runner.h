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

struct RunOptions {
    bool verbose = false; // also print passing expectations and host directives
    bool quiet = false;   // print only failures, show/echo output and the summary
    bool ansi = false;    // reverse video and colour in the output
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
    // Called after each expectation is checked and reported, with what was found instead
    // when it failed.
    std::function<void(const Directive&, const std::optional<std::string>& failure)> on_expectation;
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

    Session& session_;
    std::ostream& out_;
    RunOptions options_;
    ScriptTotals totals_;
    std::optional<int> last_result_;
    std::string last_notice_;
    bool called_ = false;
};

} // namespace opkit_cli
