// Host scripts: the line-oriented language in which `opkit-host run` and the shell take their
// directives (calls, host events, expectations). This header holds the tokens and directives
// and the parser that turns script text into them, with the line and column of every error.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/host.h"

namespace opkit_cli {

// An error in a script or a command line, with the place it was found (1-based; 0: unknown).
class ScriptError : public std::runtime_error {
  public:
    ScriptError(const std::string& message, int line, int column)
        : std::runtime_error(message), line_(line), column_(column) {}
    int line() const { return line_; }
    int column() const { return column_; }

  private:
    int line_;
    int column_;
};

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

// A duration such as 250ms, 5s, 2m, 1h30m, 1d; milliseconds, or empty when malformed.
std::optional<int64_t> parse_duration(std::string_view text);

enum class Verb {
    call,       // call <record> | call <FUNCTION> field=value ...
    message,    // message <n>
    set,        // set <var> <text>
    unreadable, // unreadable <var>
    readable,   // readable <var>
    key,        // key <code|name|"chars"> ...
    clock,      // clock <YYYY-MM-DD HH:MM:SS>
    advance,    // advance <duration>
    at,         // at <+duration|HH:MM:SS|YYYY-MM-DD HH:MM:SS> set|key|stop ...
    stop,       // stop: the host's idle processing asks the plug-in to stop
    expect,     // expect ...
    show,       // show screen [first-last]|vars|trace|clock|keys
    echo,       // echo <text>
    write,      // write <row> <column> <text> [attribute]: the application draws on the screen
    clear,      // clear: blank the whole screen
    reload,     // reload: unload the plug-in and load it afresh
    explain,    // explain <record>
};

enum class ExpectWhat {
    result,      // result <n>
    variable,    // var <n> <text>
    screen,      // screen <row> <text> | screen <row>:<column> <text>
    notice,      // notice <code>|append|none
    keys,        // keys <n>: keys still queued
    transaction, // transaction on|off
    cursor,      // cursor <row> <column>
    attribute,   // attribute <row>:<column> <0|1> [count]
    clock,       // clock <YYYY-MM-DD HH:MM:SS>
    screen_file, // screen <file> [attributes]: the whole screen against a stored picture
};

enum class ShowWhat { screen, vars, trace, clock, keys };

// A timed host event of `at`.
struct AtEvent {
    enum class Kind { key, set, stop } kind = Kind::key;
    std::vector<uint16_t> keys;
    int variable = 0;
    std::string text;
};

struct Directive {
    Verb verb = Verb::echo;
    int line = 0;
    std::string source; // the line as written

    std::string record;        // call, explain: the record exactly as it goes to the plug-in
    std::string composed_from; // call: the function name when built from fields
    int number = 0;            // message code, variable, row, expected result, count
    int column = -1;           // screen column (expect screen/attribute, write)
    std::string text;          // set, echo, expect var/screen, write, notice code
    std::vector<uint16_t> keys;
    hostsim::DateTime time{}; // clock, expect clock, at (absolute)
    int64_t duration_ms = 0;  // advance, at (relative); also the attribute of write and the
                              // cell count of expect attribute
    bool flag = false;        // expect transaction on; write attribute given

    // at
    enum class AtBase { relative, time_of_day, absolute } at_base = AtBase::relative;
    AtEvent event;

    ExpectWhat expect = ExpectWhat::result;
    ShowWhat show = ShowWhat::screen;
};

struct Script {
    std::string name; // file name, for messages
    std::vector<Directive> directives;
};

// Parses one line; empty when the line holds only blanks or a comment. Throws ScriptError
// with `line_number` and the column of the offending token.
std::optional<Directive> parse_line(std::string_view line, int line_number);

// Parses a whole script text. Throws ScriptError at the first error.
Script parse_script(std::string_view text, std::string name);

// A short list of the directives, for help texts.
std::string directive_summary();

} // namespace opkit_cli
