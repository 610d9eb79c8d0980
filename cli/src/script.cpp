// The host-script parser: tokens with quoting, and one directive per line.
#include "script.h"

#include <cctype>
#include <charconv>

#include "compose.h"
#include "explain.h"

namespace opkit_cli {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// Reads the arguments of one directive, with the place of each for error messages.
class Args {
  public:
    // `after_verb` is the column just past the directive's name, where a missing first
    // argument is reported.
    Args(std::vector<Token> tokens, int line, int after_verb)
        : tokens_(std::move(tokens)), line_(line), after_verb_(after_verb) {}

    size_t size() const { return tokens_.size(); }
    size_t left() const { return tokens_.size() - next_; }
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
    int line() const { return line_; }

  private:
    std::vector<Token> tokens_;
    size_t next_ = 0;
    int line_;
    int after_verb_;
};

constexpr int max_variable = 99;
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
            for (const char c : token.text) {
                keys.push_back(static_cast<unsigned char>(c));
            }
            continue;
        }
        if (const auto named = key_code_of_name(token.text)) {
            keys.push_back(*named);
            continue;
        }
        if (!token.text.empty() && std::isdigit(static_cast<unsigned char>(token.text[0])) != 0) {
            keys.push_back(static_cast<uint16_t>(args.to_int(token, "key code", 0, 65535)));
            continue;
        }
        if (token.text.size() == 1) {
            keys.push_back(static_cast<unsigned char>(token.text[0]));
            continue;
        }
        args.fail("unknown key \"" + token.text +
                      "\": give a code (13), a name (enter, esc, tab, backspace, space, abort) "
                      "or quote characters (\"" +
                      token.text + "\")",
                  token.column);
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

// "row" or "row:column".
void take_position(Args& args, Directive& d, bool column_required) {
    const Token& token = args.take("row");
    const size_t colon = token.text.find(':');
    Token row = token;
    if (colon != std::string::npos) {
        row.text = token.text.substr(0, colon);
        Token column = token;
        column.text = token.text.substr(colon + 1);
        column.column = token.column + static_cast<int>(colon) + 1;
        d.column = static_cast<int>(args.to_int(column, "column", 0, max_row));
    } else if (column_required) {
        args.fail("give the place as row:column, for example 2:3", token.column);
    }
    d.number = static_cast<int>(args.to_int(row, "row", 0, max_row));
}

void parse_call(Args& args, Directive& d) {
    if (args.done()) {
        args.fail_here("missing record: write it in quotes, for example call \"10TRANMSG N \"");
    }
    const Token record = args.take("record");
    const opkit::Layout* layout = record.quoted ? nullptr : find_layout(record.text);
    if (args.done() && layout == nullptr) {
        d.record = record.text;
        return;
    }
    if (args.done()) {
        std::string fields = compose_fields_help(*layout);
        while (!fields.empty() && fields.back() == '\n') {
            fields.pop_back();
        }
        args.fail("call " + record.text + " needs its fields; " + fields, record.column);
    }
    if (layout == nullptr && !record.quoted && args.peek().text.find('=') != std::string::npos) {
        const std::string best = closest_function(record.text);
        args.fail(
            "no function is called " + record.text +
                (best.empty() ? "; " + compose_functions_help() : "; did you mean " + best + "?"),
            record.column);
    }
    // call FUNCTION field=value ...: the record is composed from named fields.
    if (record.quoted || find_layout(record.text) == nullptr) {
        args.fail("a record with blanks must be quoted; to build one from fields write "
                  "call FUNCTION field=value ...",
                  args.peek().column);
    }
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
        d.record = compose_record(record.text, fields).record;
    } catch (const ComposeError& e) {
        const int column =
            e.index() >= 0 ? tokens[static_cast<size_t>(e.index())].column : record.column;
        args.fail(e.what(), column);
    }
    d.composed_from = record.text;
}

void parse_at(Args& args, Directive& d) {
    const Token& when = args.take("time (+5s, 12:00:05 or 2026-01-01 12:00:05)");
    if (!when.text.empty() && when.text[0] == '+') {
        const auto ms = parse_duration(std::string_view(when.text).substr(1));
        if (!ms) {
            args.fail("a relative time is + and a duration such as +500ms, +5s or +1m30s, not \"" +
                          when.text + "\"",
                      when.column);
        }
        d.at_base = Directive::AtBase::relative;
        d.duration_ms = *ms;
    } else if (when.text.find('-') != std::string::npos) {
        std::string text = when.text;
        if (text.find(' ') == std::string::npos) {
            text += ' ' + args.take("time of day").text;
        }
        const auto parsed = hostsim::parse_date_time(text);
        if (!parsed) {
            args.fail("the time must be YYYY-MM-DD HH:MM:SS, not \"" + text + "\"", when.column);
        }
        d.at_base = Directive::AtBase::absolute;
        d.time = *parsed;
    } else {
        const auto parsed = hostsim::parse_date_time("2000-01-01 " + when.text);
        if (!parsed) {
            args.fail("the time must be +duration, HH:MM:SS or YYYY-MM-DD HH:MM:SS, not \"" +
                          when.text + "\"",
                      when.column);
        }
        d.at_base = Directive::AtBase::time_of_day;
        d.time = *parsed;
    }
    const Token& what = args.take("event (set, key or stop)");
    const std::string kind = lower(what.text);
    if (kind == "set") {
        d.event.kind = AtEvent::Kind::set;
        d.event.variable = static_cast<int>(args.take_int("variable", 1, max_variable));
        d.event.text = args.take("text").text;
    } else if (kind == "key") {
        d.event.kind = AtEvent::Kind::key;
        d.event.keys = take_keys(args);
    } else if (kind == "stop") {
        d.event.kind = AtEvent::Kind::stop;
    } else {
        args.fail("an event is set, key or stop, not \"" + what.text + "\"", what.column);
    }
}

// expect screen <row>[:<column>] <text>, or expect screen <file> [attributes]: a row starts
// with a digit; anything else names a screen file.
void parse_expect_screen(Args& args, Directive& d) {
    if (!args.done() && (args.peek().quoted ||
                         std::isdigit(static_cast<unsigned char>(args.peek().text[0])) == 0)) {
        d.expect = ExpectWhat::screen_file;
        d.text = args.take("screen file").text;
        if (!args.done() && lower(args.peek().text) == "attributes") {
            args.take("attributes");
            d.flag = true;
        }
        return;
    }
    d.expect = ExpectWhat::screen;
    take_position(args, d, false);
    d.text = args.take("text").text;
}

void parse_expect(Args& args, Directive& d) {
    const Token& what = args.take("what to expect (result, var, screen, notice, keys, ...)");
    const std::string kind = lower(what.text);
    if (kind == "result") {
        d.expect = ExpectWhat::result;
        d.number = static_cast<int>(args.take_int("result", INT32_MIN, INT32_MAX));
    } else if (kind == "var" || kind == "variable") {
        d.expect = ExpectWhat::variable;
        d.number = static_cast<int>(args.take_int("variable", 1, max_variable));
        d.text = args.take("text (\"\" for an empty variable)").text;
    } else if (kind == "screen") {
        parse_expect_screen(args, d);
    } else if (kind == "notice") {
        d.expect = ExpectWhat::notice;
        const Token& code = args.take("notice code (two characters, append or none)");
        const std::string c = lower(code.text);
        if (c == "none" || c == "append") {
            d.text = c;
        } else if (code.text.size() == 2) {
            d.text = code.text;
        } else {
            args.fail("a notice code has two characters (C2, M1, ...); or write append or none",
                      code.column);
        }
    } else if (kind == "keys") {
        d.expect = ExpectWhat::keys;
        d.number = static_cast<int>(args.take_int("number of keys", 0, 1000000));
    } else if (kind == "transaction") {
        d.expect = ExpectWhat::transaction;
        const Token& state = args.take("on or off");
        const std::string s = lower(state.text);
        if (s != "on" && s != "off") {
            args.fail("transaction messages are on or off, not \"" + state.text + "\"",
                      state.column);
        }
        d.flag = s == "on";
    } else if (kind == "cursor") {
        d.expect = ExpectWhat::cursor;
        d.number = static_cast<int>(args.take_int("row", 0, max_row));
        d.column = static_cast<int>(args.take_int("column", 0, max_row));
    } else if (kind == "attribute") {
        d.expect = ExpectWhat::attribute;
        take_position(args, d, true);
        d.text = std::to_string(args.take_int("attribute", 0, 255));
        d.duration_ms = args.done() ? 1 : args.take_int("number of cells", 1, 1000);
    } else if (kind == "clock") {
        d.expect = ExpectWhat::clock;
        d.time = take_date_time(args, "clock");
    } else {
        args.fail("cannot expect \"" + what.text +
                      "\": expect result, var, screen, notice, keys, transaction, cursor, "
                      "attribute or clock",
                  what.column);
    }
}

void parse_show(Args& args, Directive& d) {
    const Token& what = args.take("what to show (screen, vars, trace, clock or keys)");
    const std::string kind = lower(what.text);
    if (kind == "screen") {
        d.show = ShowWhat::screen;
        d.number = -1;
        if (!args.done()) {
            // show screen 0-7: those rows only
            const Token& range = args.take("rows");
            const size_t dash = range.text.find('-');
            if (dash == std::string::npos) {
                args.fail("give the rows as first-last, for example 0-7", range.column);
            }
            Token first = range;
            first.text = range.text.substr(0, dash);
            Token last = range;
            last.text = range.text.substr(dash + 1);
            last.column = range.column + static_cast<int>(dash) + 1;
            d.number = static_cast<int>(args.to_int(first, "first row", 0, max_row));
            d.column = static_cast<int>(args.to_int(last, "last row", d.number, max_row));
        }
    } else if (kind == "vars" || kind == "variables") {
        d.show = ShowWhat::vars;
    } else if (kind == "trace") {
        d.show = ShowWhat::trace;
    } else if (kind == "clock") {
        d.show = ShowWhat::clock;
    } else if (kind == "keys") {
        d.show = ShowWhat::keys;
    } else {
        args.fail("cannot show \"" + what.text + "\": show screen, vars, trace, clock or keys",
                  what.column);
    }
}

void parse_message(Args& args, Directive& d) {
    d.number = static_cast<int>(args.take_int("message code", INT32_MIN, INT32_MAX));
}

void parse_set(Args& args, Directive& d) {
    d.number = static_cast<int>(args.take_int("variable", 1, max_variable));
    d.text = args.take("text (\"\" for an empty text)").text;
}

void parse_variable_number(Args& args, Directive& d) {
    d.number = static_cast<int>(args.take_int("variable", 1, max_variable));
}

void parse_key(Args& args, Directive& d) {
    d.keys = take_keys(args);
}

void parse_clock(Args& args, Directive& d) {
    d.time = take_date_time(args, "clock");
}

void parse_advance(Args& args, Directive& d) {
    const Token& t = args.take("duration (250ms, 5s, 2m, 1h30m)");
    const auto ms = parse_duration(t.text);
    if (!ms) {
        args.fail(
            "a duration is a number and a unit (ms, s, m, h, d), as in 250ms or 1m30s, not \"" +
                t.text + "\"",
            t.column);
    }
    d.duration_ms = *ms;
}

void parse_echo(Args& args, Directive& d) {
    while (!args.done()) {
        d.text += (d.text.empty() ? "" : " ") + args.take("text").text;
    }
}

void parse_write(Args& args, Directive& d) {
    d.number = static_cast<int>(args.take_int("row", 0, max_row));
    d.column = static_cast<int>(args.take_int("column", 0, max_row));
    d.text = args.take("text").text;
    if (!args.done()) {
        d.flag = true;
        d.duration_ms = args.take_int("attribute", 0, 255);
    }
}

void parse_explain(Args& args, Directive& d) {
    d.record = args.take("record").text;
}

// The directives by their verb, each with the parser of its arguments (none: it takes none).
struct VerbRule {
    const char* name;
    Verb verb;
    void (*parse)(Args&, Directive&);
};
const VerbRule verb_rules[] = {
    {"call", Verb::call, parse_call},
    {"message", Verb::message, parse_message},
    {"set", Verb::set, parse_set},
    {"unreadable", Verb::unreadable, parse_variable_number},
    {"readable", Verb::readable, parse_variable_number},
    {"key", Verb::key, parse_key},
    {"keys", Verb::key, parse_key},
    {"clock", Verb::clock, parse_clock},
    {"advance", Verb::advance, parse_advance},
    {"at", Verb::at, parse_at},
    {"stop", Verb::stop, nullptr},
    {"expect", Verb::expect, parse_expect},
    {"show", Verb::show, parse_show},
    {"echo", Verb::echo, parse_echo},
    {"write", Verb::write, parse_write},
    {"clear", Verb::clear, nullptr},
    {"reload", Verb::reload, nullptr},
    {"explain", Verb::explain, parse_explain},
};

} // namespace

namespace {

// The character that an escape stands for in a double-quoted text; `i` is at the backslash
// and moves past the escape.
char take_escape(std::string_view line, size_t& i) {
    const char e = line[i + 1];
    switch (e) {
    case '"':
    case '\\':
    case '\'': i += 2; return e;
    case 'n': i += 2; return '\n';
    case 't': i += 2; return '\t';
    case 'x': {
        const int high = i + 2 < line.size() ? hex_digit(line[i + 2]) : -1;
        const int low = i + 3 < line.size() ? hex_digit(line[i + 3]) : -1;
        if (high < 0 || low < 0) {
            throw ScriptError("\\x needs two hexadecimal digits", 0, static_cast<int>(i) + 1);
        }
        i += 4;
        return static_cast<char>(high * 16 + low);
    }
    default:
        throw ScriptError(std::string("unknown escape \\") + e +
                              " (use \\\" \\\\ \\n \\t or \\xHH)",
                          0, static_cast<int>(i) + 1);
    }
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
    if (n == "enter" || n == "return" || n == "cr") {
        return uint16_t{13};
    }
    if (n == "esc" || n == "escape") {
        return uint16_t{27};
    }
    if (n == "tab") {
        return uint16_t{9};
    }
    if (n == "backspace" || n == "bs") {
        return uint16_t{8};
    }
    if (n == "space") {
        return uint16_t{32};
    }
    if (n == "abort") {
        return hostsim::key_abort;
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
        if (r.ec != std::errc() || amount < 0) {
            return std::nullopt;
        }
        i = static_cast<size_t>(r.ptr - text.data());
        size_t unit_end = i;
        while (unit_end < text.size() &&
               std::isalpha(static_cast<unsigned char>(text[unit_end])) != 0) {
            ++unit_end;
        }
        const std::string unit = lower(text.substr(i, unit_end - i));
        int64_t scale = 0;
        if (unit == "ms") {
            scale = 1;
        } else if (unit == "s") {
            scale = 1000;
        } else if (unit == "m" || unit == "min") {
            scale = 60000;
        } else if (unit == "h") {
            scale = 3600000;
        } else if (unit == "d") {
            scale = 86400000;
        } else {
            return std::nullopt;
        }
        if (amount > INT64_MAX / scale / 4) {
            return std::nullopt;
        }
        total += amount * scale;
        i = unit_end;
    }
    return total;
}

std::optional<Directive> parse_line(std::string_view line, int line_number) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(line);
    } catch (const ScriptError& e) {
        throw ScriptError(e.what(), line_number, e.column());
    }
    if (tokens.empty()) {
        return std::nullopt;
    }
    Directive d;
    d.line = line_number;
    d.source = std::string(line);
    while (!d.source.empty() && (d.source.back() == '\r' || d.source.back() == '\n')) {
        d.source.pop_back();
    }
    const Token verb = tokens.front();
    tokens.erase(tokens.begin());
    Args args(std::move(tokens), line_number, verb.column + static_cast<int>(verb.text.size()));
    const std::string v = lower(verb.text);
    const VerbRule* rule = nullptr;
    for (const VerbRule& r : verb_rules) {
        if (v == r.name) {
            rule = &r;
        }
    }
    if (rule == nullptr) {
        throw ScriptError("unknown directive \"" + verb.text + "\" (" + directive_summary() + ")",
                          line_number, verb.column);
    }
    d.verb = rule->verb;
    if (rule->parse != nullptr) {
        rule->parse(args, d);
    }
    args.finish();
    return d;
}

std::vector<uint16_t> parse_keys(std::string_view text) {
    Args args(tokenize(text), 0, 1);
    return take_keys(args);
}

std::optional<int> parse_variable(std::string_view text) {
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 1 ||
        value > max_variable) {
        return std::nullopt;
    }
    return value;
}

Script parse_script(std::string_view text, std::string name) {
    Script script;
    script.name = std::move(name);
    int line_number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find('\n', start);
        const std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        ++line_number;
        if (auto d = parse_line(line, line_number)) {
            script.directives.push_back(std::move(*d));
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return script;
}

std::string directive_summary() {
    return "directives: call, message, set, unreadable, readable, key, clock, advance, at, stop, "
           "expect, show, echo, write, clear, reload, explain";
}

} // namespace opkit_cli
