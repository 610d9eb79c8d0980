// The host-script parser: tokens with quoting, and one directive per line.
#include "script.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "compose.h"
#include "explain.h"
#include "text.h"

namespace opkit_cli {

ScriptError::ScriptError(const std::string& message, int line, int column)
    : std::runtime_error(printable(message, true)), line_(line), column_(column) {}

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads the arguments of one directive, with the place of each for error messages.
class Args {
  public:
    // `after_verb` is the column just past the directive's name, where a missing first
    // argument is reported.
    Args(std::vector<Token> tokens, int line, int after_verb, ScreenSize screen = {})
        : tokens_(std::move(tokens)), line_(line), after_verb_(after_verb), screen_(screen) {}

    bool done() const { return next_ >= tokens_.size(); }
    const Token& peek() const { return tokens_[next_]; }

    [[noreturn]] void fail(const std::string& message, int column) const {
        throw ScriptError(message, line_, column);
    }
    [[noreturn]] void fail_here(const std::string& message) const {
        fail(message, done() ? end_column() : peek().column);
    }

    const Token& take(const char* what) {
        if (done()) {
            fail("missing " + std::string(what), end_column());
        }
        return tokens_[next_++];
    }

    int64_t take_int(const char* what, int64_t minimum, int64_t maximum) {
        const Token& token = take(what);
        return to_int(token, what, minimum, maximum);
    }

    int64_t to_int(const Token& token, const char* what, int64_t minimum, int64_t maximum) const {
        int64_t value = 0;
        const std::string& t = token.text;
        const char* first = t.data();
        const char* last = t.data() + t.size();
        std::from_chars_result r{};
        if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
            r = std::from_chars(first + 2, last, value, 16);
        } else {
            r = std::from_chars(first, last, value, 10);
        }
        if (t.empty() || r.ec != std::errc() || r.ptr != last) {
            fail(std::string(what) + " must be a number, not \"" + t + "\"", token.column);
        }
        if (value < minimum || value > maximum) {
            fail(std::string(what) + " must be " + std::to_string(minimum) + " to " +
                     std::to_string(maximum) + ", not " + t,
                 token.column);
        }
        return value;
    }

    void finish() const {
        if (!done()) {
            fail("unexpected \"" + peek().text + "\" (quote a text that holds blanks)",
                 peek().column);
        }
    }

    int end_column() const {
        return tokens_.empty()
                   ? after_verb_
                   : tokens_.back().column + static_cast<int>(tokens_.back().text.size());
    }
    const ScreenSize& screen() const { return screen_; }

  private:
    std::vector<Token> tokens_;
    size_t next_ = 0;
    int line_;
    int after_verb_;
    ScreenSize screen_;
};

constexpr int max_variable = opkit::variable_high;
constexpr int max_row = 255;

std::vector<uint16_t> take_keys(Args& args) {
    std::vector<uint16_t> keys;
    if (args.done()) {
        args.fail_here("missing key: a code (13), a name (enter, esc, abort, ...) or \"text\"");
    }
    while (!args.done()) {
        const Token& token = args.take("key");
        if (token.quoted) {
            if (token.text.empty()) {
                args.fail("an empty text holds no key", token.column);
            }
            keys.insert(keys.end(), token.text.begin(), token.text.end());
        } else if (const auto named = key_code_of_name(token.text)) {
            keys.push_back(*named);
        } else if (std::isdigit(static_cast<unsigned char>(token.text[0])) != 0) {
            keys.push_back(static_cast<uint16_t>(args.to_int(token, "key code", 0, 65535)));
        } else if (token.text.size() == 1) {
            keys.push_back(static_cast<unsigned char>(token.text[0]));
        } else {
            args.fail("unknown key \"" + token.text +
                          "\": give a code (13), a name (enter, esc, tab, backspace, space, "
                          "abort) or quote characters (\"" +
                          token.text + "\")",
                      token.column);
        }
    }
    return keys;
}

// A date and time written as one quoted token or as two words.
hostsim::DateTime take_date_time(Args& args, const char* what) {
    const Token& first = args.take(what);
    std::string text = first.text;
    if (text.find(' ') == std::string::npos && !args.done()) {
        text += ' ' + args.take(what).text;
    }
    const auto parsed = hostsim::parse_date_time(text);
    if (!parsed) {
        args.fail(std::string(what) + " must be YYYY-MM-DD HH:MM:SS (years 2000 to 2099), not \"" +
                      text + "\"",
                  first.column);
    }
    return *parsed;
}

// The two numbers of "row:column" or "first-last", each checked at its own column against
// the screen: a row below its row count, a column below its column count. The second is empty
// when the separator is absent, which `required` (when given) refuses.
std::pair<int, std::optional<int>> take_pair(Args& args, const char* what, char separator,
                                             const char* second_name,
                                             const char* required = nullptr) {
    const Token& token = args.take(what);
    const size_t at = token.text.find(separator);
    if (at == std::string::npos && required != nullptr) {
        args.fail(required, token.column);
    }
    const ScreenSize& screen = args.screen();
    Token first = token;
    first.text = token.text.substr(0, at);
    const int low = static_cast<int>(args.to_int(first, what, 0, screen.rows - 1));
    if (at == std::string::npos) {
        return {low, std::nullopt};
    }
    Token second = token;
    second.text = token.text.substr(at + 1);
    second.column = token.column + static_cast<int>(at) + 1;
    const bool rows = separator == '-';
    return {low, static_cast<int>(args.to_int(second, second_name, rows ? low : 0,
                                              (rows ? screen.rows : screen.columns) - 1))};
}

// A run of `width` cells from `column` must end on the screen.
void check_extent(const Args& args, int column, size_t width, int at, const char* what) {
    const int columns = args.screen().columns;
    if (static_cast<size_t>(column) + width > static_cast<size_t>(columns)) {
        args.fail(std::string("the ") + what + " past the last column, " +
                      std::to_string(columns - 1),
                  at);
    }
}

int take_variable(Args& args) {
    return static_cast<int>(args.take_int("variable", opkit::variable_low, max_variable));
}

int take_row(Args& args, const char* what = "row") {
    return static_cast<int>(args.take_int(what, 0, max_row));
}

// A word of a closed set, case ignored: its index in `words`. The refusal names the word
// where it holds {}.
size_t take_word(Args& args, const char* what, const std::vector<const char*>& words,
                 const std::string& refusal) {
    const Token& token = args.take(what);
    const std::string word = lower(token.text);
    for (size_t i = 0; i < words.size(); ++i) {
        if (word == words[i]) {
            return i;
        }
    }
    std::string message = refusal;
    message.replace(message.find("{}"), 2, token.text);
    args.fail(message, token.column);
}

void reject_fields_after_plain_record(Args& args, const Token& record) {
    if (record.quoted || args.peek().text.find('=') == std::string::npos) {
        args.fail("a record with blanks must be quoted; to build one from fields write "
                  "call FUNCTION field=value ...",
                  args.peek().column);
    }
    const std::string best = closest_function(record.text);
    args.fail("no function is called " + record.text +
                  (best.empty() ? "; " + compose_functions_help() : "; did you mean " + best + "?"),
              record.column);
}

// call FUNCTION field=value ...: the record composed from named fields.
Call compose_call(Args& args, const Token& function) {
    std::vector<Token> tokens;
    std::vector<FieldAssignment> fields;
    while (!args.done()) {
        tokens.push_back(args.take("field"));
        try {
            fields.push_back(parse_assignment(tokens.back().text, static_cast<int>(fields.size())));
        } catch (const ComposeError& e) {
            args.fail(e.what(), tokens.back().column);
        }
    }
    try {
        return Call{compose_record(function.text, fields).record, function.text};
    } catch (const ComposeError& e) {
        args.fail(e.what(),
                  e.index() >= 0 ? tokens[static_cast<size_t>(e.index())].column : function.column);
    }
}

Action parse_call(Args& args) {
    if (args.done()) {
        args.fail_here("missing record: write it in quotes, for example call \"10TRANMSG N \"");
    }
    const Token record = args.take("record");
    const opkit::Layout* layout = record.quoted ? nullptr : find_layout(record.text);
    if (layout == nullptr) {
        if (!args.done()) {
            reject_fields_after_plain_record(args, record);
        }
        if (const std::string why = record_too_long(record.text); !why.empty()) {
            args.fail(why, record.column);
        }
        return Call{record.text, {}};
    }
    if (args.done()) {
        std::string fields = compose_fields_help(*layout);
        while (!fields.empty() && fields.back() == '\n') {
            fields.pop_back();
        }
        args.fail("call " + record.text + " needs its fields; " + fields, record.column);
    }
    return compose_call(args, record);
}

// The duration that `text` (from `token`) gives; `malformed` heads the error when it gives
// none, followed by the token.
int64_t take_duration(const Args& args, const Token& token, std::string_view text,
                      const char* malformed) {
    const auto ms = parse_duration(text);
    if (ms && *ms > clock_span_ms) {
        args.fail("a duration longer than 36525 days (2000 to 2099) would take the clock outside "
                  "its years",
                  token.column);
    }
    if (!ms) {
        args.fail(malformed + token.text + "\"", token.column);
    }
    return *ms;
}

// The time of `at`: +duration, HH:MM:SS or a date and time.
void take_at_time(Args& args, At& at) {
    const Token& when = args.take("time (+5s, 12:00:05 or 2026-01-01 12:00:05)");
    if (!when.text.empty() && when.text[0] == '+') {
        at.base = At::Base::relative;
        at.offset_ms = take_duration(
            args, when, std::string_view(when.text).substr(1),
            "a relative time is + and a duration such as +500ms, +5s or +1m30s, not \"");
        return;
    }
    const bool dated = when.text.find('-') != std::string::npos;
    std::string text = dated ? when.text : "2000-01-01 " + when.text;
    if (dated && text.find(' ') == std::string::npos) {
        text += ' ' + args.take("time of day").text;
    }
    const auto parsed = hostsim::parse_date_time(text);
    if (!parsed) {
        args.fail(std::string("the time must be ") + (dated ? "" : "+duration, HH:MM:SS or ") +
                      "YYYY-MM-DD HH:MM:SS, not \"" + (dated ? text : when.text) + "\"",
                  when.column);
    }
    at.base = dated ? At::Base::absolute : At::Base::time_of_day;
    at.time = *parsed;
}

Action parse_at(Args& args) {
    At at;
    take_at_time(args, at);
    switch (take_word(args, "event (set, key or stop)", {"set", "key", "stop"},
                      "an event is set, key or stop, not \"{}\"")) {
    case 0: {
        const int variable = take_variable(args);
        at.event = SetVariable{variable, args.take("text").text};
        break;
    }
    case 1: at.event = PressKeys{take_keys(args)}; break;
    default: at.event = Stop{}; break;
    }
    return at;
}

Expectation expect_notice(Args& args) {
    const Token& code = args.take("notice code (two characters, append, any or none)");
    const std::string c = lower(code.text);
    const bool word = c == "none" || c == "append" || c == "any";
    if (!word && code.text.size() != 2) {
        args.fail("a notice code has two characters (C2, M1, ...); or write append, any or none",
                  code.column);
    }
    return ExpectNotice{word ? c : upper(code.text)};
}

// expect screen <row>[:<column>] <text>, or expect screen <file> [attributes]: a row starts
// with a digit; anything else (or a quoted token) names a screen file.
Expectation expect_screen(Args& args) {
    if (!args.done() && (args.peek().quoted ||
                         std::isdigit(static_cast<unsigned char>(args.peek().text[0])) == 0)) {
        ExpectScreenFile file{args.take("screen file").text, false};
        if (!args.done() && lower(args.peek().text) == "attributes") {
            args.take("attributes");
            file.attributes = true;
        }
        return file;
    }
    const auto [row, column] = take_pair(args, "row", ':', "column");
    const Token& text = args.take("text");
    // A text at a column must end within its row; a whole row, blanks at its end aside, too.
    std::string_view shown(text.text);
    if (!column) {
        shown = shown.substr(0, shown.find_last_not_of(' ') + 1);
    }
    check_extent(args, column.value_or(0), shown.size(), text.column, "text runs");
    return ExpectScreen{row, column.value_or(-1), text.text};
}

Expectation expect_attribute(Args& args) {
    const auto [row, column] =
        take_pair(args, "row", ':', "column", "give the place as row:column, for example 2:3");
    const int attribute = static_cast<int>(args.take_int("attribute", 0, 255));
    const int at = args.done() ? 0 : args.peek().column;
    const int cells = args.done() ? 1 : static_cast<int>(args.take_int("number of cells", 1, 1000));
    check_extent(args, *column, static_cast<size_t>(cells), at, "cells run");
    return ExpectAttribute{row, *column, attribute, cells};
}

// The kinds of expectation by their word, each with the parser of its arguments.
struct ExpectRule {
    const char* name;
    Expectation (*parse)(Args&);
    const char* arguments; // for the reference
    const char* checks;
};
const ExpectRule expect_rules[] = {
    {"result",
     [](Args& a) -> Expectation {
         return ExpectResult{static_cast<int>(a.take_int("result", INT32_MIN, INT32_MAX))};
     },
     "<n>", "the last call returned n"},
    {"var",
     [](Args& a) -> Expectation {
         const int variable = take_variable(a);
         return ExpectVariable{variable, a.take("text (\"\" for an empty variable)").text};
     },
     "<variable> \"<text>\"", "the user variable holds the text (\"\" for an empty one)"},
    {"screen", expect_screen,
     "<row> \"<text>\" | <row>:<column> \"<text>\" | \"<file>\" [attributes]",
     "the whole row holds the text (trailing blanks ignored), or the row from the column starts "
     "with it, or the screen is the stored picture (run --update-screens writes it; attributes: "
     "the cells' attributes too); rows, columns and texts must lie on the screen"},
    {"notice", expect_notice, "<code> | append | any | none",
     "the last call showed the parameter notice with that code, the append notice, either, or "
     "none"},
    {"keys",
     [](Args& a) -> Expectation {
         return ExpectKeys{static_cast<int>(a.take_int("number of keys", 0, 1000000))};
     },
     "<n>", "n keys wait in the keyboard queue"},
    {"transaction",
     [](Args& a) -> Expectation {
         return ExpectTransaction{take_word(a, "on or off", {"off", "on"},
                                            "transaction messages are on or off, not \"{}\"") == 1};
     },
     "on | off", "transaction messages are on or off"},
    {"cursor",
     [](Args& a) -> Expectation {
         const int row = take_row(a);
         return ExpectCursor{row, take_row(a, "column")};
     },
     "<row> <column>", "the cursor stands there"},
    {"attribute", expect_attribute, "<row>:<column> <attribute> [<cells>]",
     "the cells from there have the attribute"},
    {"clock", [](Args& a) -> Expectation { return ExpectClock{take_date_time(a, "clock")}; },
     "<YYYY-MM-DD HH:MM:SS>", "the host's clock reads that time"},
};

Action parse_expect(Args& args) {
    const Token& what = args.take("what to expect (result, var, screen, notice, keys, ...)");
    const std::string kind = lower(what.text) == "variable" ? "var" : lower(what.text);
    for (const ExpectRule& rule : expect_rules) {
        if (kind == rule.name) {
            return Expect{rule.parse(args)};
        }
    }
    std::vector<std::string> kinds;
    for (const ExpectRule& rule : expect_rules) {
        kinds.emplace_back(rule.name);
    }
    const std::string close = closest_word(what.text, kinds);
    args.fail("cannot expect \"" + what.text + "\"" +
                  (close.empty() ? "" : " (did you mean " + close + "?)") +
                  ": expect result, var, screen, notice, keys, transaction, cursor, "
                  "attribute or clock",
              what.column);
}

Action parse_show(Args& args) {
    const std::vector<const char*> words{"screen", "vars", "trace", "clock", "keys", "variables"};
    Show show;
    const size_t which = take_word(args, "what to show (screen, vars, trace, clock or keys)", words,
                                   "cannot show \"{}\": show screen, vars, trace, clock or keys");
    show.what = static_cast<ShowWhat>(which == 5 ? 1 : which);
    if (show.what == ShowWhat::screen && !args.done()) {
        // show screen 0-7: those rows only
        const auto [first, last] = take_pair(args, "first row", '-', "last row",
                                             "give the rows as first-last, for example 0-7");
        show.first_row = first;
        show.last_row = *last;
    }
    return show;
}

Action parse_advance(Args& args) {
    const Token& t = args.take("duration (250ms, 5s, 2m, 1h30m)");
    return Advance{take_duration(
        args, t, t.text,
        "a duration is a number and a unit (ms, s, m, h, d), as in 250ms or 1m30s, not \"")};
}

// write: the text must start on the screen and end within its row.
Action parse_write(Args& args) {
    Write w;
    const ScreenSize& screen = args.screen();
    w.row = static_cast<int>(args.take_int("row", 0, screen.rows - 1));
    w.column = static_cast<int>(args.take_int("column", 0, screen.columns - 1));
    const Token& text = args.take("text");
    w.text = text.text;
    if (w.column + static_cast<int>(w.text.size()) > screen.columns) {
        args.fail("the text runs past the last column, " + std::to_string(screen.columns - 1),
                  text.column);
    }
    if (!args.done()) {
        w.attribute = static_cast<uint8_t>(args.take_int("attribute", 0, 255));
    }
    return w;
}

// The directives by their verb, each with the parser of its arguments.
struct VerbRule {
    const char* name;
    Action (*parse)(Args&);
    const char* arguments; // for the reference
    const char* does;
};
const VerbRule verb_rules[] = {
    {"call", parse_call, "\"<record>\" | <FUNCTION> <field>=<value> ...",
     "calls the plug-in with the record, written out or composed from its fields"},
    {"message",
     [](Args& a) -> Action {
         return Message{static_cast<int>(a.take_int("message code", INT32_MIN, INT32_MAX))};
     },
     "<code>", "sends the plug-in a message (5: the screen self-test)"},
    {"set",
     [](Args& a) -> Action {
         const int variable = take_variable(a);
         return SetVariable{variable, a.take("text (\"\" for an empty text)").text};
     },
     "<variable> \"<text>\"", "sets a user variable"},
    {"unreadable",
     [](Args& a) -> Action {
         return Readability{take_variable(a), false};
     },
     "<variable>", "makes the host refuse reads of the user variable"},
    {"readable",
     [](Args& a) -> Action {
         return Readability{take_variable(a), true};
     },
     "<variable>", "lets the host read the user variable again"},
    {"key", [](Args& a) -> Action { return PressKeys{take_keys(a)}; },
     "<code> | <name> | \"<characters>\" ...",
     "queues keys (names: enter, esc, tab, backspace, space, abort, ...)"},
    {"keys", [](Args& a) -> Action { return PressKeys{take_keys(a)}; },
     nullptr, // another name of key
     "the same as key"},
    {"clock", [](Args& a) -> Action { return SetClock{take_date_time(a, "clock")}; },
     "<YYYY-MM-DD HH:MM:SS>", "sets the host's clock"},
    {"advance", parse_advance, "<duration>", "moves the virtual clock on (1m30s, 500ms, ...)"},
    {"at", parse_at,
     "+<duration> | <HH:MM:SS> | <YYYY-MM-DD HH:MM:SS>, then set ... | key ... | stop",
     "schedules a host event at that time on the virtual clock, met during the next call: a "
     "variable filled, a key, a stop request"},
    {"stop", [](Args&) -> Action { return Stop{}; }, "",
     "makes the host's idle processing ask the plug-in to stop"},
    {"expect", parse_expect, "<what> ...", "checks the host's state (the expectations below)"},
    {"show", parse_show, "screen [<first>-<last>] | vars | trace | clock | keys",
     "prints part of the host's state"},
    {"echo",
     [](Args& a) -> Action {
         Echo echo;
         while (!a.done()) {
             echo.text += (echo.text.empty() ? "" : " ") + a.take("text").text;
         }
         return echo;
     },
     "\"<text>\" ...", "prints the text"},
    {"write", parse_write, "<row> <column> \"<text>\" [<attribute>]",
     "writes on the screen as the application does"},
    {"clear", [](Args&) -> Action { return Clear{}; }, "", "blanks the whole screen"},
    {"reload", [](Args&) -> Action { return Reload{}; }, "",
     "unloads the plug-in and loads it afresh"},
    {"explain",
     [](Args& a) -> Action {
         const Token& record = a.take("record");
         if (const std::string why = record_too_long(record.text); !why.empty()) {
             a.fail(why, record.column);
         }
         return ExplainRecord{record.text};
     },
     "\"<record>\"", "prints the record explained"},
};

struct KeyName {
    const char* name;
    uint16_t code;
};
constexpr KeyName key_names[] = {
    {"enter", 13}, {"return", 13},   {"cr", 13}, {"esc", 27},   {"escape", 27},
    {"tab", 9},    {"backspace", 8}, {"bs", 8},  {"space", 32}, {"abort", hostsim::key_abort},
};

struct DurationUnit {
    const char* name;
    int64_t ms;
};
constexpr DurationUnit duration_units[] = {
    {"ms", 1}, {"s", 1000}, {"m", 60000}, {"min", 60000}, {"h", 3600000}, {"d", 86400000},
};

} // namespace

namespace {

// The character that an escape stands for in a double-quoted text; `i` is at the backslash
// and moves past the escape.
char take_escape(std::string_view line, size_t& i) {
    char out = 0;
    if (const int used = read_escape(line, i, out)) {
        i += static_cast<size_t>(used);
        return out;
    }
    const char e = line[i + 1];
    if (e == 'x') {
        throw ScriptError("\\x needs two hexadecimal digits", 0, static_cast<int>(i) + 1);
    }
    throw ScriptError(std::string("unknown escape \\") + e + " (use \\\" \\\\ \\n \\t or \\xHH)", 0,
                      static_cast<int>(i) + 1);
}

// Appends the double-quoted text that starts at `i` to `text`; `i` moves past its end.
void take_double_quoted(std::string_view line, size_t& i, std::string& text) {
    const size_t open = i++;
    while (i < line.size() && line[i] != '"') {
        if (line[i] != '\\') {
            text += line[i++];
        } else if (i + 1 < line.size()) {
            text += take_escape(line, i);
        } else {
            break;
        }
    }
    if (i >= line.size() || line[i] != '"') {
        throw ScriptError("the quote that opens here is never closed", 0,
                          static_cast<int>(open) + 1);
    }
    ++i;
}

// One token from `i`: a run of plain characters and quoted parts, so name="a b" is one token.
Token take_token(std::string_view line, size_t& i) {
    Token token;
    token.column = static_cast<int>(i) + 1;
    while (i < line.size() && !is_blank(line[i])) {
        const char c = line[i];
        if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            if (end == std::string_view::npos) {
                throw ScriptError("the quote that opens here is never closed", 0,
                                  static_cast<int>(i) + 1);
            }
            token.text.append(line.substr(i + 1, end - i - 1));
            token.quoted = true;
            i = end + 1;
        } else if (c == '"') {
            take_double_quoted(line, i, token.text);
            token.quoted = true;
        } else {
            token.text += c;
            ++i;
        }
    }
    return token;
}

} // namespace

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (is_blank(line[i])) {
            ++i;
        } else if (line[i] == '#') {
            break; // a comment runs to the end of the line
        } else {
            tokens.push_back(take_token(line, i));
        }
    }
    return tokens;
}

std::optional<uint16_t> key_code_of_name(std::string_view name) {
    const std::string n = lower(name);
    for (const KeyName& key : key_names) {
        if (n == key.name) {
            return key.code;
        }
    }
    return std::nullopt;
}

std::optional<int64_t> parse_duration(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    int64_t total = 0;
    size_t i = 0;
    while (i < text.size()) {
        int64_t amount = 0;
        const auto r = std::from_chars(text.data() + i, text.data() + text.size(), amount);
        const bool huge = r.ec == std::errc::result_out_of_range;
        if ((r.ec != std::errc() && !huge) || amount < 0) {
            return std::nullopt;
        }
        amount = huge ? INT64_MAX : amount;
        i = static_cast<size_t>(r.ptr - text.data());
        size_t unit_end = i;
        while (unit_end < text.size() &&
               std::isalpha(static_cast<unsigned char>(text[unit_end])) != 0) {
            ++unit_end;
        }
        const std::string unit = lower(text.substr(i, unit_end - i));
        int64_t scale = 0;
        for (const DurationUnit& u : duration_units) {
            scale = unit == u.name ? u.ms : scale;
        }
        if (scale == 0) {
            return std::nullopt;
        }
        total = amount > (INT64_MAX - total) / scale ? INT64_MAX : total + amount * scale;
        i = unit_end;
    }
    return total;
}

std::optional<Directive> parse_line(std::string_view line, int line_number, ScreenSize screen) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(line);
    } catch (const ScriptError& e) {
        throw ScriptError(e.what(), line_number, e.column());
    }
    if (tokens.empty()) {
        return std::nullopt;
    }
    std::string source(line);
    while (!source.empty() && (source.back() == '\r' || source.back() == '\n')) {
        source.pop_back();
    }
    const Token verb = tokens.front();
    tokens.erase(tokens.begin());
    Args args(std::move(tokens), line_number, verb.column + static_cast<int>(verb.text.size()),
              screen);
    const std::string v = lower(verb.text);
    for (const VerbRule& rule : verb_rules) {
        if (v == rule.name) {
            Action action = rule.parse(args);
            args.finish();
            return Directive{std::move(action), line_number, std::move(source)};
        }
    }
    std::vector<std::string> verbs;
    for (const VerbRule& rule : verb_rules) {
        verbs.emplace_back(rule.name);
    }
    const std::string close = closest_word(verb.text, verbs);
    throw ScriptError("unknown directive \"" + verb.text + "\"" +
                          (close.empty() ? "" : "; did you mean " + close + "?") + " (" +
                          directive_summary() + ")",
                      line_number, verb.column);
}

std::vector<uint16_t> parse_keys(std::string_view text) {
    Args args(tokenize(text), 0, 1);
    return take_keys(args);
}

std::optional<int> parse_variable(std::string_view text) {
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        value < opkit::variable_low || value > max_variable) {
        return std::nullopt;
    }
    return value;
}

bool for_each_directive(const std::function<bool(std::string&)>& next_line, ScreenSize screen,
                        const std::function<void(Directive&&)>& each,
                        const std::function<void(const ScriptError&, std::string_view)>& error) {
    size_t errors = 0;
    std::string line;
    for (int line_number = 1; next_line(line); ++line_number) {
        std::optional<Directive> d;
        try {
            d = parse_line(line, line_number, screen);
        } catch (const ScriptError& e) {
            if (errors == max_script_errors) {
                return true;
            }
            ++errors;
            error(e, line);
        }
        // Outside the try: what `each` throws is its own, not an error of the text.
        if (d && errors == 0) {
            each(std::move(*d));
        }
    }
    return false;
}

void for_each_directive(std::string_view text, ScreenSize screen,
                        const std::function<void(Directive&&)>& each) {
    std::vector<ScriptError> errors;
    size_t start = 0;
    const bool more = for_each_directive(
        [&](std::string& line) {
            if (start > text.size()) {
                return false;
            }
            size_t end = text.find('\n', start);
            end = end == std::string_view::npos ? text.size() : end;
            line.assign(text.substr(start, end - start));
            start = end + 1;
            return true;
        },
        screen, each, [&](const ScriptError& e, std::string_view) { errors.push_back(e); });
    if (!errors.empty()) {
        throw ScriptErrors(std::move(errors), more);
    }
}

Script parse_script(std::string_view text, std::string name, ScreenSize screen) {
    Script script;
    script.name = std::move(name);
    for_each_directive(text, screen,
                       [&](Directive&& d) { script.directives.push_back(std::move(d)); });
    return script;
}

std::string directive_summary() {
    std::string out = "directives: ";
    for (const VerbRule& rule : verb_rules) {
        if (rule.arguments != nullptr) { // the other names of a verb are left out
            out += std::string(&rule == verb_rules ? "" : ", ") + rule.name;
        }
    }
    return out;
}

namespace {

// A table cell: a '|' would end it.
std::string cell(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '|' ? std::string("\\|") : std::string(1, c);
    }
    return out;
}

std::string usage(const char* verb, const char* arguments) {
    return "`" + cell(std::string(verb) + (*arguments != '\0' ? " " : "") + arguments) + "`";
}

} // namespace

std::string directive_reference() {
    std::string out = "| Directive | What it does |\n|---|---|\n";
    for (const VerbRule& rule : verb_rules) {
        const bool alias = rule.arguments == nullptr;
        out += "| " + usage(rule.name, alias ? "..." : rule.arguments) + " | " + cell(rule.does) +
               " |\n";
    }
    out += "\n| Expectation | What it checks |\n|---|---|\n";
    for (const ExpectRule& rule : expect_rules) {
        out += "| " + usage((std::string("expect ") + rule.name).c_str(), rule.arguments) + " | " +
               cell(rule.checks) + " |\n";
    }
    return out;
}

} // namespace opkit_cli
