// The run as one self-contained HTML page (run --html FILE): a summary with links to each
// failure, the failures first (screens expected and found side by side as character grids,
// the cells that differ marked), then every script's calls with the screen after each call
// that changed it, folded. The page loads nothing from elsewhere: styles are inline, there is
// no script and no external resource, so it reads the same offline and from a CI artifact
// store. Every text from a script, a record, a variable or the screen is escaped.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "output.h"
#include "render.h"
#include "report_formats.h"
#include "runner.h"
#include "script.h"

namespace opkit_cli {

// The comment that every report holds on its second line: an existing file that holds it is a
// report of ours and may be overwritten.
constexpr const char* html_report_marker = "<!-- opkit-host run report -->";

// Whether the head of a file is a report written by run --html.
bool looks_like_html_report(std::string_view head);

// The report as a kind of output: an existing file is overwritten only when it is one.
extern const OutputKind html_output;

// A text as HTML character data or attribute value: & < > " ' as references. The text is
// first escaped as all input is shown (control bytes and bytes from 0x80 on as \xHH), so the
// page is plain ASCII whatever the input held.
std::string html_text(std::string_view text);

// One call or message as the report lists it.
struct HtmlCall {
    int line = 0;
    std::string function; // the function the record names ("unknown"); "" for a message
    std::string record;   // the record as called (any bytes); "" for a message
    int message = 3;      // the message code
    int result = 0;
    std::string notice;                  // "M1", ..., "append" or ""
    std::vector<std::string> changes;    // variables changed, as "3 = \"x\"" (escaped)
    std::string clock;                   // the virtual clock after the call
    int64_t elapsed_ms = 0;              // time the call took on that clock
    std::optional<ScreenPicture> screen; // after the call, when the call changed it
};

// One expectation as checked, with the screens to compare when it is about the screen.
struct HtmlExpectation {
    int line = 0;
    std::string source; // the directive as written, escaped
    std::optional<std::string> failure;
    std::string call; // the call before it, or ""
    bool unexpected_notice = false;
    std::optional<ScreenPicture> expected; // screen expectations that failed
    std::optional<ScreenPicture> found;
    bool attributes = false; // the attributes were compared too
};

using HtmlStep = std::variant<HtmlCall, HtmlExpectation>;

struct HtmlScript {
    std::string name;            // escaped, as reports show it
    std::vector<HtmlStep> steps; // in the order they ran
    size_t steps_left_out = 0;   // passing steps beyond the most a script lists
    int calls = 0;
    int passed = 0;
    int failed = 0;
    std::vector<ScriptFailure> errors; // it could not run to its end
    std::vector<std::string> warnings; // record warnings and events left pending
    bool warned = false;               // failed for its warnings under --strict
    bool run = true;                   // false: not run, another script was in error
    double seconds = 0;
};

// The plug-in the run loaded.
struct HtmlPlugin {
    std::string description; // its path, size and modification time, escaped
    std::string version;     // "" when the file records none
};

struct HtmlRun {
    std::vector<HtmlScript> scripts;
    HtmlPlugin plugin;
    std::string started; // UTC, ISO 8601
    double seconds = 0;
    std::string tool_version;
};

// The page for a run.
std::string html_report(const HtmlRun& run);
// The page that stands while a run is under way, in case it never ends.
std::string html_unfinished(const std::string& started);

// The file version a plug-in's version resource records ("1.2.0"), or "" when it has none
// (a Linux plug-in carries no version resource).
std::string plugin_file_version(const std::string& path);

// What the screen should have shown for an expectation about the screen that failed: the
// screen found with the expected text or attributes put in. `screen_file` is the text of the
// file an `expect screen FILE` names. None for other expectations, and for a screen file that
// could not be read.
std::optional<ScreenPicture> expected_screen(const Expectation& expectation,
                                             const ScreenPicture& found,
                                             const std::optional<std::string>& screen_file);

// The most steps a script lists: beyond it only failures are kept, so that a long streamed
// script cannot make the page (and the memory that holds it) grow without bound.
constexpr size_t max_html_steps = 20000;

// Collects a run as it goes and writes the page.
class HtmlRecorder {
  public:
    // `started`: when the run started, UTC, as reports write it (2026-12-10T13:21:00).
    HtmlRecorder(std::string path, HtmlPlugin plugin, std::string started);

    // Writes the page that says the run is under way; the file's problem, or "".
    std::string start();
    void begin_script(const std::string& name);
    void before_call(const hostsim::Host& host); // the screen before a call
    void call(const Directive& d, const CallReport& report, const hostsim::Host& host);
    // `expectation` is the one checked (null for a notice no expectation took);
    // `screen_file` the path of the file it compares with, if any.
    void expectation(const CheckOutcome& outcome, const Expectation* expectation,
                     const std::string& screen_file, const hostsim::Host& host);
    void script_error(const ScriptFailure& failure);
    void end_script(const std::vector<std::string>& warnings, bool warned);
    void not_run(const std::string& name, const std::vector<ScriptFailure>& errors);
    // Writes the page; the file's problem, or "".
    std::string write();

  private:
    HtmlScript& current();
    void keep(HtmlStep step, bool failure);
    double script_seconds() const;

    std::string path_;
    HtmlRun run_;
    std::optional<ScreenPicture> before_;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point script_started_{};
};

} // namespace opkit_cli
