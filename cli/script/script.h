// Host scripts: the line-oriented language in which `opkit-host run` and the shell take their
// directives (calls, host events, expectations). This header holds the tokens, one struct per
// directive, and the parser that turns script text into them, with the line and column of every
// error.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hostsim/host.h"

namespace opkit_cli {

// An error in a script or a command line, with the place it was found (1-based; 0: unknown).
// The message is kept escaped: what it quotes from the script is shown as every input is
// (control bytes and NUL as \xHH), so that it can neither reach a terminal raw nor be cut short.
class ScriptError : public std::runtime_error {
  public:
    ScriptError(const std::string& message, int line, int column);
    int line() const { return line_; }
    int column() const { return column_; }

  private:
    int line_;
    int column_;
};

// Every error of a script, in line order, up to max_script_errors; the first is its own.
class ScriptErrors : public ScriptError {
  public:
    explicit ScriptErrors(std::vector<ScriptError> errors, bool more)
        : ScriptError(errors.front()), errors_(std::move(errors)), more_(more) {}
    const std::vector<ScriptError>& errors() const { return errors_; }
    bool more() const { return more_; } // errors beyond the limit were not collected

  private:
    std::vector<ScriptError> errors_;
    bool more_;
};
constexpr size_t max_script_errors = 20;

struct Token {
    std::string text; // without its quotes, escapes resolved
    int column = 1;   // 1-based column of the token's first character in its line
    bool quoted = false;
};

// Splits a line into tokens: words separated by blanks, "double-quoted" texts with the escapes
// \" \\ \n \t \xHH, and 'single-quoted' texts taken literally. A # outside quotes at the start
// of a token begins a comment. Throws ScriptError (line 0) on an unterminated quote or a bad
// escape.
std::vector<Token> tokenize(std::string_view line);

// Key names accepted by `key`: enter, esc, tab, backspace, space, abort, ...; the code, or empty.
std::optional<uint16_t> key_code_of_name(std::string_view name);

// The keys that the arguments of `key` name, as in `key enter "ab" 27`. Throws ScriptError.
std::vector<uint16_t> parse_keys(std::string_view text);

// A user variable number as scripts write it, 1 to 99; empty when the text is none.
std::optional<int> parse_variable(std::string_view text);

// A duration such as 250ms, 5s, 2m, 1h30m, 1d; milliseconds (INT64_MAX for any beyond it), or
// empty when malformed.
std::optional<int64_t> parse_duration(std::string_view text);

// The host's clock runs from 2000-01-01 to the end of 2099: no step of it may be longer.
constexpr int64_t clock_span_ms = 36525LL * 86400000;

// The screen that a script's writes must stay within (by default: any size a host may have).
struct ScreenSize {
    int rows = 256;
    int columns = 256;
};

// The directives, one struct each.
struct Call {                  // call <record> | call <FUNCTION> field=value ...
    std::string record;        // exactly as it goes to the plug-in
    std::string composed_from; // the function name when built from fields
};
struct Message { // message <n>
    int code = 0;
};
struct SetVariable { // set <var> <text>
    int variable = 0;
    std::string text;
};
struct Readability { // unreadable <var> | readable <var>
    int variable = 0;
    bool readable = true;
};
struct PressKeys { // key <code|name|"chars"> ...
    std::vector<uint16_t> keys;
};
struct SetClock { // clock <YYYY-MM-DD HH:MM:SS>
    hostsim::DateTime time{};
};
struct Advance { // advance <duration>
    int64_t ms = 0;
};
struct Stop {}; // stop: the host's idle processing asks the plug-in to stop
struct Write {  // write <row> <column> <text> [attribute]: the application draws on the screen
    int row = 0;
    int column = 0;
    std::string text;
    uint8_t attribute = 0;
};
struct Clear {};  // clear: blank the whole screen
struct Reload {}; // reload: unload the plug-in and load it afresh
struct Echo {     // echo <text>
    std::string text;
};
struct ExplainRecord { // explain <record>
    std::string record;
};

// at <+duration|HH:MM:SS|YYYY-MM-DD HH:MM:SS> set|key|stop ...: a timed host event.
struct At {
    enum class Base { relative, time_of_day, absolute } base = Base::relative;
    int64_t offset_ms = 0;    // relative
    hostsim::DateTime time{}; // time of day (its date unused) or absolute
    std::variant<PressKeys, SetVariable, Stop> event;
};

enum class ShowWhat { screen, vars, trace, clock, keys };
struct Show { // show screen [first-last]|vars|trace|clock|keys
    ShowWhat what = ShowWhat::screen;
    int first_row = -1; // screen rows; -1: all
    int last_row = -1;
};

// expect ...: one struct per kind of expectation.
struct ExpectResult { // result <n>
    int value = 0;
};
struct ExpectVariable { // var <n> <text>
    int variable = 0;
    std::string text;
};
struct ExpectScreen { // screen <row> <text> | screen <row>:<column> <text>
    int row = 0;
    int column = -1; // -1: the whole row, blanks at its end ignored
    std::string text;
};
struct ExpectNotice { // notice <code>|append|any|none: the last call's notice
    std::string code; // two characters in upper case, "append", "any" or "none"
};
struct ExpectKeys { // keys <n>: keys still queued
    int count = 0;
};
struct ExpectTransaction { // transaction on|off
    bool on = false;
};
struct ExpectCursor { // cursor <row> <column>
    int row = 0;
    int column = 0;
};
struct ExpectAttribute { // attribute <row>:<column> <attribute> [cells]
    int row = 0;
    int column = 0;
    int attribute = 0;
    int cells = 1;
};
struct ExpectClock { // clock <YYYY-MM-DD HH:MM:SS>
    hostsim::DateTime time{};
};
struct ExpectScreenFile { // screen <file> [attributes]: the whole screen against a stored picture
    std::string path;
    bool attributes = false;
};
using Expectation =
    std::variant<ExpectResult, ExpectVariable, ExpectScreen, ExpectNotice, ExpectKeys,
                 ExpectTransaction, ExpectCursor, ExpectAttribute, ExpectClock, ExpectScreenFile>;
struct Expect {
    Expectation what;
};

using Action = std::variant<Call, Message, SetVariable, Readability, PressKeys, SetClock, Advance,
                            At, Stop, Expect, Show, Echo, Write, Clear, Reload, ExplainRecord>;

// One line of a script: what it asks for, and where it stands.
struct Directive {
    Action action;
    int line = 0;
    std::string source; // the line as written
};

struct Script {
    std::string name; // file name, for messages
    std::vector<Directive> directives;
};

// Parses one line; empty when the line holds only blanks or a comment. Throws ScriptError
// with `line_number` and the column of the offending token.
std::optional<Directive> parse_line(std::string_view line, int line_number, ScreenSize screen = {});

// Parses a whole script text. Throws ScriptErrors with every error of the text (up to
// max_script_errors), so that all are reported before anything runs.
Script parse_script(std::string_view text, std::string name, ScreenSize screen = {});

// Parses a script text one line at a time and hands each directive to `each`, keeping none:
// memory stays flat however long the text. Once a line has failed, no more directives are
// handed on; at the end it throws ScriptErrors as parse_script does. A text that passed once
// hands every directive on.
void for_each_directive(std::string_view text, ScreenSize screen,
                        const std::function<void(Directive&&)>& each);

// The same over lines that arrive one at a time: `next_line` sets the next line (without its
// '\n') and answers false at the end. Errors are not thrown but handed to `error` as they are
// found, with the text of their line, up to max_script_errors; answers true when more errors
// followed that were not handed on.
bool for_each_directive(const std::function<bool(std::string&)>& next_line, ScreenSize screen,
                        const std::function<void(Directive&&)>& each,
                        const std::function<void(const ScriptError&, std::string_view)>& error);

// A short list of the directives, for help texts.
std::string directive_summary();

// The directives and the expectations as a Markdown reference, one table row each, from the
// same table the parser reads them with.
std::string directive_reference();

} // namespace opkit_cli
