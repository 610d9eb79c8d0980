// Record analysis: the handlers' checks replayed over the layout table, without a host.
#include "explain.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "compose.h"
#include "text.h"

namespace opkit_cli {

namespace {

using opkit::Field;

using opkit::upper_case;

std::string letter_text(char c) {
    if (c == '\0') {
        return "(end of record)";
    }
    if (c == ' ') {
        return "' ' (blank)";
    }
    return "'" + shown_byte(c) + "'";
}

std::string columns_text(int first, int width) {
    if (width <= 1) {
        return std::to_string(first);
    }
    return std::to_string(first) + "-" + std::to_string(first + width - 1);
}

int edit_distance(std::string_view a, std::string_view b) {
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = static_cast<int>(j);
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const int cost = upper_case(a[i - 1]) == upper_case(b[j - 1]) ? 0 : 1;
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Replays a handler's steps. Once a check fails, the handler stops: later steps are not made.
class Analyser {
  public:
    explicit Analyser(Analysis& a) : a_(a), record_(a.record.c_str()) {}

    int32_t number(const Field& f) const { return opkit::record_field_int(record_, f); }
    char letter(int column) const { return opkit::record_char(record_, column); }
    std::string text(int first, int width) const {
        std::vector<char> out(static_cast<size_t>(width) + 1);
        opkit::record_columns_text(record_, first, width, out.data());
        return out.data();
    }

    // The report of one of the row's fields; a field of another row is a fault of the caller.
    FieldReport& field(const Field& f) {
        for (FieldReport& r : a_.fields) {
            if (r.name == f.name) {
                return r;
            }
        }
        throw std::logic_error(std::string("explain: the row has no field ") + f.name);
    }

    void not_read(const Field& f, const std::string& why) {
        FieldReport& r = field(f);
        r.read = false;
        r.value = "-";
        r.verdict = "not read " + why;
    }

    // Gives the field its verdict unless a check or the call's kind gave it one already.
    void verdict(const Field& f, const std::string& text) {
        FieldReport& r = field(f);
        if (r.verdict.empty()) {
            r.verdict = text;
        }
    }

    bool stopped() const { return !a_.notice.empty(); }

    // A check that the record decides. `fault` is the field it is about (or null).
    void check(const std::string& code, bool ok, const std::string& what,
               FieldReport* fault = nullptr) {
        if (stopped()) {
            return;
        }
        a_.checks.push_back(Check{code, what, ok ? Check::State::ok : Check::State::fails});
        if (!ok) {
            a_.notice = code;
            a_.notice_before_host = !host_asked_;
            if (fault != nullptr) {
                fault->fault = true;
            }
        }
    }

    void read(int variable, const std::string& code, const std::string& what) {
        if (stopped()) {
            return;
        }
        a_.checks.push_back(Check{code,
                                  what + ": the host must be able to read user variable " +
                                      std::to_string(variable) + " (it answers 1 or 3 when not)",
                                  Check::State::host});
        a_.reads.push_back(HostRead{variable, code});
        host_asked_ = true;
    }

    void host_call(const std::string& what) {
        if (stopped()) {
            return;
        }
        a_.checks.push_back(Check{"", what, Check::State::host});
        host_asked_ = true;
    }

    // A field lying (partly) past the record's end, as the handler finds it.
    std::string beyond_end(const Field& f) const {
        if (f.first >= a_.chars) {
            return "; column " + std::to_string(f.first) +
                   " lies beyond the end of the record (its last column is " +
                   std::to_string(a_.chars - 1) + ")";
        }
        return {};
    }

    Analysis& a_;

  private:
    const char* record_;
    bool host_asked_ = false;
};

// "length 21 is at least 21" / "length 20 is below 21", and the same for an upper bound.
std::string length_text(const Analysis& a, const opkit::Check& check, bool ok) {
    const bool at_least = check.test == opkit::Test::length_at_least;
    const char* relation =
        at_least ? (ok ? " is at least " : " is below ") : (ok ? " is at most " : " is above ");
    return "length " + std::to_string(a.length) + relation + std::to_string(check.bound);
}

// The call a conditional check or field belongs to: "store" for DICOUNT's S.
std::string call_kind(const opkit::Layout& layout, const char* letters) {
    for (const Accepted& value : accepted_values(layout.fields[0])) {
        if (letter_in(letters, value.value) && value.spellings.size() > 1) {
            return value.spellings[1];
        }
    }
    return letters;
}

// A field's value as the check sees it: a letter or text shown quoted, a number as converted.
std::string shown_value(const Analyser& z, const Field& f) {
    if (f.kind == opkit::FieldKind::letter) {
        return letter_text(z.letter(f.first));
    }
    if (f.kind == opkit::FieldKind::text) {
        return "\"" + z.text(f.first, f.width) + "\"";
    }
    return std::to_string(z.number(f));
}

// "counter 33 is not 1 to 32", "operation 'X' is not one of D I R S"; a letter that the
// length check lets lie beyond the record's end gets the remedy.
std::string value_check_text(const Analyser& z, const Field& f, bool ok) {
    std::string set;
    if (f.accepts == nullptr) {
        set = std::to_string(f.low) + " to " + std::to_string(f.high);
    } else {
        for (const Accepted& value : accepted_values(f)) {
            set += (set.empty() ? "one of " : " ") + value.value;
        }
    }
    std::string text =
        std::string(f.name) + " " + shown_value(z, f) + (ok ? " is " : " is not ") + set;
    const Analysis& a = z.a_;
    if (!ok && f.first >= a.chars && f.kind == opkit::FieldKind::letter) {
        text += " (length " + std::to_string(a.length) +
                " passes the length check, but the record ends at column " +
                std::to_string(a.chars - 1) + ", before the " + f.name + " letter in column " +
                std::to_string(f.first) + ": write the record up to column " +
                std::to_string(f.first) + ", length " + std::to_string(f.first - 1) + ")";
    }
    return text;
}

// The field that holds a relation's second letter; a relation field without one is a fault of
// the row.
const Field& second_of(const Field& f) {
    if (f.pair == nullptr) {
        throw std::logic_error(std::string("explain: relation field ") + f.name +
                               " names no second column");
    }
    return *f.pair;
}

// The relation that the field and its paired column name, the entry null when none.
const opkit::RelationName* relation_in(const Analyser& z, const Field& f) {
    return opkit::relation_name_of(
        opkit::relation_of(z.letter(f.first), z.letter(second_of(f).first)));
}

// The relation in the field and its paired column ("" when they name none), with the
// verdicts of both columns.
std::string explain_relation(Analyser& z, const Field& f) {
    const Field& second = second_of(f);
    const bool two_letters = opkit::relation_needs_second(z.letter(f.first));
    const char second_letter = upper_case(z.letter(second.first));
    const opkit::RelationName* relation = relation_in(z, f);
    const std::string name = relation == nullptr ? "" : relation->name;
    if (!two_letters) {
        z.not_read(second, "(only after G or L)");
    } else {
        z.verdict(second, second_letter == 'E'   ? "or equal"
                          : second_letter == 'T' ? "strictly"
                                                 : "not E or T");
    }
    z.verdict(f, relation == nullptr ? "names no relation"
                                     : "left " + std::string(relation->symbol) + " right");
    return name;
}

// "EQ, NE, GE, GT, LE or LT".
std::string relation_list() {
    std::string out;
    const size_t count = std::size(opkit::relation_names);
    for (size_t i = 0; i < count; ++i) {
        out += (i == 0           ? ""
                : i + 1 == count ? " or "
                                 : ", ") +
               std::string(opkit::relation_names[i].name);
    }
    return out;
}

void walk_relation(Analyser& z, const opkit::Check& check, bool ok) {
    const Field& f = *check.field;
    const Field& second = second_of(f);
    const std::string name = explain_relation(z, f);
    const bool two_letters = opkit::relation_needs_second(z.letter(f.first));
    std::string written = letter_text(z.letter(f.first));
    if (two_letters) {
        written += " " + letter_text(z.letter(second.first));
    }
    const bool was_stopped = z.stopped();
    z.check(check.code, ok,
            ok ? "relation " + written + " is " + name
               : "relation " + written + " names no relation (" + relation_list() + ")",
            &z.field(f));
    if (!ok && !was_stopped && two_letters) {
        z.field(second).fault = true;
    }
}

// Replays one of the handler's checks: its text, its outcome and the field at fault.
void walk_check(Analyser& z, const opkit::Layout& layout, const opkit::Check& check) {
    Analysis& a = z.a_;
    const std::string kind =
        check.when != nullptr ? call_kind(layout, check.when_letters) + ": " : std::string();
    const bool ok = opkit::check_passes(a.record.c_str(), a.length, check);
    switch (check.test) {
    case opkit::Test::length_at_least:
    case opkit::Test::length_at_most:
        z.check(check.code, ok, kind + length_text(a, check, ok));
        return;
    case opkit::Test::in_range:
    case opkit::Test::one_of:
        if (!ok) {
            z.verdict(*check.field, "not accepted" + z.beyond_end(*check.field));
        }
        z.check(check.code, ok, kind + value_check_text(z, *check.field, ok),
                &z.field(*check.field));
        return;
    case opkit::Test::relation: walk_relation(z, check, ok); return;
    case opkit::Test::host_read:
    case opkit::Test::host_read_byte: {
        const int32_t number = z.number(*check.field);
        const int variable =
            check.test == opkit::Test::host_read ? number : static_cast<uint8_t>(number);
        z.verdict(*check.field, "reads user variable " + std::to_string(variable));
        z.read(variable, check.code, kind + check.field->name);
        return;
    }
    case opkit::Test::host_divisor:
        if (!z.stopped()) {
            const int variable = static_cast<uint8_t>(z.number(*check.field));
            a.divide_by_variable = variable;
            a.checks.push_back(Check{check.code,
                                     "divide: the text of user variable " +
                                         std::to_string(variable) + " must not convert to 0",
                                     Check::State::host});
        }
        return;
    case opkit::Test::host_idle: z.host_call("_IdleManager(0)"); return;
    }
}

// Marks the fields that this kind of call does not read.
void mark_unread(Analyser& z, const opkit::Layout& layout) {
    const std::string selector(1, upper_case(z.letter(layout.fields[0].first)));
    for (size_t i = 0; i < layout.field_count; ++i) {
        const Field& f = layout.fields[i];
        if (!letter_in(f.read_for, selector)) {
            z.not_read(f, "(" + call_kind(layout, f.read_for) + " only)");
        }
    }
}

// The word for the letter in a field that selects what the call does ("" when none).
std::string letter_word(const Analyser& z, const Field& f) {
    const std::string letter(1, upper_case(z.letter(f.first)));
    for (const Accepted& value : accepted_values(f)) {
        if (value.value == letter) {
            return value.spellings.size() > 1 ? value.spellings[1] : value.value;
        }
    }
    return "";
}

// What each function does with a record, once its checks are made: the verdicts of the fields
// that no check judged, and the action.
void describe_dicount(Analyser& z) {
    namespace F = opkit::dicount;
    const std::string n = std::to_string(z.number(F::counter));
    const std::string v = std::to_string(z.number(F::variable));
    const std::string op = letter_word(z, F::operation);
    z.verdict(F::operation, op.empty() ? "not accepted" + z.beyond_end(F::operation) : op);
    z.verdict(F::counter, "counter " + n);
    z.verdict(F::variable, "user variable " + v);
    if (op == "store") {
        z.host_call("_WriteUserVariable(" + v + ", counter text): a refused write (5) shows \"" +
                    opkit::append_text + "\"");
    }
    z.a_.action = op == "decrement"   ? "decrements counter " + n + " (a counter at 0 stays at 0)"
                  : op == "increment" ? "increments counter " + n
                  : op == "reset"     ? "sets counter " + n + " to 0"
                                      : "writes the value of counter " + n +
                                        " as decimal text into user variable " + v;
    z.a_.action += "; returns 0";
}

void describe_popupwn(Analyser& z) {
    namespace F = opkit::popupwn;
    const std::string act = letter_word(z, F::action);
    const int32_t rows = z.number(F::rows);
    const int attribute = upper_case(z.letter(F::frame.first)) == 'N' ? 0 : 1;
    z.verdict(F::rows, std::to_string(rows) + " body rows");
    z.verdict(F::frame, "frame attribute " + std::to_string(attribute) +
                            (attribute == 1 ? " (reverse)" : " (normal)"));
    if (act == "open") {
        z.verdict(F::action, "open a box");
        z.a_.action = "saves screen rows 1-" + std::to_string(rows + 2) +
                      ", columns 2-25, then draws a box of " + std::to_string(rows) +
                      " body rows there in attribute " + std::to_string(attribute) + "; returns 0";
    } else if (act == "close") {
        z.verdict(F::action, "close the box");
        z.a_.action = "writes back the cells saved under the open box (nothing when no box is "
                      "open); returns 0";
    } else {
        z.verdict(F::action, "neither C nor R: the call does nothing" + z.beyond_end(F::action));
        z.a_.action =
            "nothing: an action other than C or R is no error and changes nothing; returns 0";
    }
}

// The field of the row's `nth` check (from 0) that makes one of the tests; a row without one
// is not what the description expects.
const Field& checked_field(const opkit::Layout& layout, std::initializer_list<opkit::Test> tests,
                           int nth) {
    for (size_t i = 0; i < layout.check_count; ++i) {
        const opkit::Check& check = layout.checks[i];
        const bool wanted = std::find(tests.begin(), tests.end(), check.test) != tests.end();
        if (wanted && check.field != nullptr && nth-- == 0) {
            return *check.field;
        }
    }
    throw std::logic_error(std::string("explain: ") + layout.name +
                           " lacks a check that its description needs");
}

// The comparisons: the two variables the host reads, the relation and the result mode.
void describe_comparison(Analyser& z, const opkit::Layout& layout, bool text) {
    const std::initializer_list<opkit::Test> reads{opkit::Test::host_read,
                                                   opkit::Test::host_read_byte};
    const Field& left = checked_field(layout, reads, 0);
    const Field& right = checked_field(layout, reads, 1);
    const Field& relation = checked_field(layout, {opkit::Test::relation}, 0);
    const Field& mode = checked_field(layout, {opkit::Test::one_of}, 0);
    const opkit::ResultPair results = opkit::result_pair_of(z.letter(mode.first));
    z.verdict(mode, "returns " + std::to_string(results.holds) + " when the relation holds, " +
                        std::to_string(results.fails) + " when not");
    explain_relation(z, relation);
    const opkit::RelationName* named = relation_in(z, relation);
    // Texts are compared as the variables hold them, numbers only by their low 8 bits.
    const auto host = [&](const Field& v) {
        return std::to_string(text ? z.number(v) : static_cast<uint8_t>(z.number(v)));
    };
    z.a_.action =
        std::string("compares the ") + (text ? "texts (byte by byte)" : "integer values") +
        " of user variables " + host(left) + " and " + host(right) + ": returns " +
        std::to_string(results.holds) + " when left " + (named == nullptr ? "?" : named->symbol) +
        " right, else " + std::to_string(results.fails);
}

void describe_intmath(Analyser& z) {
    namespace F = opkit::intmath;
    const std::string op = letter_word(z, F::op);
    z.verdict(F::op, op.empty() ? "not accepted" + z.beyond_end(F::op) : op);
    const char c = z.letter(F::op.first);
    z.a_.action = "writes (variable " + std::to_string(static_cast<uint8_t>(z.number(F::left))) +
                  ") " + (op.empty() ? "?" : std::string(1, c)) + " (variable " +
                  std::to_string(static_cast<uint8_t>(z.number(F::right))) +
                  ") as decimal text into user variable 1; returns 0";
}

void describe_chkuniq(Analyser& z) {
    namespace F = opkit::chkuniq;
    const std::string act = letter_word(z, F::action);
    const std::string v = std::to_string(z.number(F::variable));
    z.verdict(F::verify_list, "list " + std::to_string(z.number(F::verify_list)));
    z.verdict(F::reset_list, "list " + std::to_string(z.number(F::reset_list)));
    if (act == "verify") {
        z.verdict(F::action, "verify a value");
        z.a_.action = "returns 1 and adds the value of user variable " + v + " to list " +
                      std::to_string(z.number(F::verify_list)) +
                      " when the list's last ten values do not hold it, else returns 0";
    } else if (act == "reset") {
        z.verdict(F::action, "reset a list");
        z.a_.action = "empties list " + std::to_string(z.number(F::reset_list)) +
                      " (the next new value goes where it would have gone); returns 0";
    } else {
        z.verdict(F::action, "neither V nor R: the call does nothing" + z.beyond_end(F::action));
        z.a_.action =
            "nothing: an action other than V or R is no error and changes nothing; returns 0";
    }
}

void describe_tm_date(Analyser& z) {
    namespace F = opkit::tm_date;
    const int32_t hours = z.number(F::hours);
    const bool amer = upper_case(z.letter(F::style.first)) == 'A';
    const std::string tv = std::to_string(z.number(F::time_variable));
    const std::string dv = std::to_string(z.number(F::date_variable));
    z.verdict(F::hours, hours == 12 ? "hh:mm:ss AM/PM" : "hh:mm:ss");
    z.verdict(F::style, amer ? "MM/DD/YY" : "DD.MM.YY");
    z.verdict(F::time_variable, "time goes to user variable " + tv);
    z.verdict(F::date_variable, "date goes to user variable " + dv);
    z.a_.action = std::string("writes the date as ") + (amer ? "MM/DD/YY" : "DD.MM.YY") +
                  " into user variable " + dv + " and the time as " +
                  (hours == 12 ? "hh:mm:ss AM/PM" : "hh:mm:ss") + " into user variable " + tv +
                  "; returns 0";
}

void describe_tranmsg(Analyser& z) {
    const char c = upper_case(z.letter(opkit::tranmsg::switch_letter.first));
    const std::string state = c == 'N' ? "off" : "on";
    z.verdict(opkit::tranmsg::switch_letter, state);
    z.a_.action = "switches the host's transaction messages " + state + "; returns 0";
}

void describe_v_delay(Analyser& z) {
    namespace F = opkit::v_delay;
    Analysis& a = z.a_;
    const int32_t width = opkit::present_width(F::count, a.length);
    FieldReport& count = z.field(F::count);
    count.width = std::max(1, width);
    count.raw = z.text(F::count.first, width);
    const int32_t n = opkit::text_to_int(count.raw.c_str());
    count.value = std::to_string(n);
    const int64_t passes = F::passes(n);
    const std::string pass = " passes of " + std::to_string(F::pass_ms) + " ms";
    count.verdict = width == 0 ? "no count: the length leaves no columns for it; one pass"
                               : std::to_string(passes) + pass;
    a.seconds = static_cast<double>(passes * F::pass_ms) / 1000.0;
    a.action = "waits " + std::to_string(passes) + pass + " (" +
               std::to_string(passes * F::pass_ms) +
               " ms), ending early on the abort key (256) or a stop; returns 0";
}

void describe_wait_uv(Analyser& z) {
    namespace F = opkit::wait_uv;
    const std::string v = std::to_string(z.number(F::variable));
    const uint16_t timeout = static_cast<uint16_t>(z.number(F::timeout));
    z.field(F::timeout).value = std::to_string(timeout);
    z.a_.seconds = timeout;
    z.a_.waits_for = z.number(F::variable);
    // The wait counts whole seconds of the host's clock and ends once more than the timeout
    // have passed: up to one second beyond it, depending on where in a second it began.
    const std::string whole = "more than " + std::to_string(timeout) + " whole seconds";
    const std::string longest = "up to " + std::to_string(timeout + 1) + " s";
    z.verdict(F::timeout, "ends once " + whole + " have passed (" + longest + ")");
    z.a_.action = "waits for user variable " + v +
                  " to hold text: returns 1 when it does, 0 once " + whole + " have passed (" +
                  longest + "), 2 on the abort key (256) or a stop";
}

void describe(Analyser& z, const opkit::Layout& layout) {
    using B = opkit::Behaviour;
    switch (layout.behaviour) {
    case B::counter: describe_dicount(z); return;
    case B::popup: describe_popupwn(z); return;
    case B::compare_texts: describe_comparison(z, layout, true); return;
    case B::compare_numbers: describe_comparison(z, layout, false); return;
    case B::arithmetic: describe_intmath(z); return;
    case B::unique_values: describe_chkuniq(z); return;
    case B::clock: describe_tm_date(z); return;
    case B::transaction: describe_tranmsg(z); return;
    case B::delay: describe_v_delay(z); return;
    case B::wait_for_variable: describe_wait_uv(z); return;
    }
    throw std::logic_error(std::string("explain: no description for ") + layout.name);
}

void analyse_name(Analysis& a);

// The length digits, and notes where they disagree with the record.
void analyse_header(Analysis& a) {
    const char* record = a.record.c_str();
    char digits[3];
    opkit::record_field_text(record, opkit::header_length, digits);
    a.length_raw = digits;
    a.length = opkit::text_to_int(digits);
    const bool two_digits = a.length_raw.size() == 2 &&
                            std::isdigit(static_cast<unsigned char>(a.length_raw[0])) != 0 &&
                            std::isdigit(static_cast<unsigned char>(a.length_raw[1])) != 0;
    if (!two_digits) {
        a.length_notes.push_back("the length should be two decimal digits; they read as " +
                                 std::to_string(a.length));
    }
    const int counted = a.chars - 2;
    if (a.chars >= 2 && counted != a.length) {
        if (counted < a.length) {
            a.length_notes.push_back("the digits count " + std::to_string(a.length) +
                                     " characters from column 2 on, but the record holds " +
                                     std::to_string(std::max(counted, 0)) + ": " +
                                     (a.chars == a.length + 1
                                          ? "column " + std::to_string(a.chars) + " reads"
                                          : "columns " + std::to_string(a.chars) + " to " +
                                                std::to_string(a.length + 1) + " read") +
                                     " as the end of the record");
        } else {
            a.length_notes.push_back(
                "the record holds " + std::to_string(counted) +
                " characters from column 2 on, the digits count " + std::to_string(a.length) +
                "; the function tests the digits, and still reads a field that lies beyond");
        }
    }
    analyse_name(a);
}

// The function the name columns select, or hints at what went wrong with the name.
void analyse_name(Analysis& a) {
    opkit::NameColumns name = {};
    opkit::record_field_text(a.record.c_str(), opkit::header_name, name);
    a.name_raw = name;
    const int index = opkit::dispatch_find_columns(name);
    a.layout = index < 0 ? nullptr : &opkit::layouts[index];
    if (a.layout != nullptr) {
        return;
    }
    // Help the author find what went wrong with the name.
    const std::string whole = upper(a.record);
    for (const opkit::Layout& layout : opkit::layouts) {
        const size_t at = whole.find(layout.name);
        if (at != std::string::npos) {
            a.name_notes.push_back(
                std::string(layout.name) + " stands at column " + std::to_string(at) +
                "; the name must start at column 2, right after the two length digits");
            return;
        }
    }
    const std::string best = closest_function(a.name_raw);
    if (!best.empty()) {
        a.name_notes.push_back("did you mean " + best + "?");
    }
}

// A count in words, as the text reads best for the few counts it names.
std::string count_word(size_t count) {
    static const char* const words[] = {"no",    "one",   "two",  "three", "four",   "five",  "six",
                                        "seven", "eight", "nine", "ten",   "eleven", "twelve"};
    return count < std::size(words) ? words[count] : std::to_string(count);
}

std::string pad(std::string text, size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

} // namespace

std::string closest_function(std::string_view name) {
    std::string best;
    int best_distance = 3;
    for (const opkit::Layout& layout : opkit::layouts) {
        const int d = edit_distance(name, layout.name);
        if (d < best_distance) {
            best_distance = d;
            best = layout.name;
        }
    }
    return best;
}

std::string closest_word(std::string_view word, const std::vector<std::string>& words) {
    std::string best;
    int best_distance = word.size() >= 6 ? 3 : 2;
    for (const std::string& candidate : words) {
        const int d = edit_distance(word, candidate);
        if (d > 0 && d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    }
    return best;
}

Analysis analyse(std::string_view record) {
    Analysis a;
    a.record = std::string(record);
    a.chars = static_cast<int>(std::string_view(a.record.c_str()).size());
    analyse_header(a);
    if (a.layout == nullptr) {
        a.checks.push_back(Check{"M1",
                                 "the name \"" + printable(a.name_raw) + "\" matches no function",
                                 Check::State::fails});
        a.notice = "M1";
        a.notice_before_host = true;
        a.action = "nothing but the notice";
        return a;
    }
    const opkit::Layout& layout = *a.layout;
    for (size_t i = 0; i < layout.check_count; ++i) {
        const opkit::Check& check = layout.checks[i];
        if (check.test == opkit::Test::length_at_least ||
            check.test == opkit::Test::length_at_most) {
            const std::string bound = std::to_string(check.bound);
            a.needs.push_back((check.test == opkit::Test::length_at_least ? "length at least "
                                                                          : "length at most ") +
                              bound + " (" +
                              (check.when != nullptr ? call_kind(layout, check.when_letters)
                                                     : std::string("every call")) +
                              "; else " + check.code + ")");
        }
    }
    Analyser z(a);
    char mark = 'a';
    for (size_t i = 0; i < layout.field_count; ++i) {
        const Field& f = layout.fields[i];
        FieldReport r;
        r.name = f.name;
        r.first = f.first;
        r.width = f.width;
        r.mark = mark++;
        r.meaning = f.meaning;
        r.raw = z.text(f.first, f.width);
        if (f.kind == opkit::FieldKind::number) {
            r.value = std::to_string(z.number(f));
        } else if (f.kind == opkit::FieldKind::letter) {
            r.value = letter_text(z.letter(f.first));
        } else {
            r.value = "\"" + printable(r.raw) + "\"";
        }
        a.fields.push_back(std::move(r));
    }
    mark_unread(z, layout);
    for (size_t i = 0; i < layout.check_count; ++i) {
        if (opkit::check_applies(a.record.c_str(), layout.checks[i])) {
            walk_check(z, layout, layout.checks[i]);
        }
    }
    describe(z, layout);
    if (!a.notice.empty()) {
        a.action = "nothing but the notice; returns 0";
    }
    return a;
}

std::string predict_notice(const Analysis& analysis, const HostReader& reader) {
    for (const HostRead& read : analysis.reads) {
        const ReadAnswer answer = reader(read.variable);
        if (answer.result == 1 || answer.result == 3) {
            return read.code;
        }
    }
    if (!analysis.notice.empty()) {
        return analysis.notice;
    }
    if (analysis.divide_by_variable != 0) {
        const ReadAnswer answer = reader(analysis.divide_by_variable);
        if (opkit::text_to_int(answer.text.c_str()) == 0) {
            return "C6";
        }
    }
    return {};
}

std::string notice_row(std::string_view record, std::string_view code) {
    std::string row = opkit::bad_param_text;
    row.replace(opkit::bad_param_code_column, opkit::bad_param_code_width,
                code.substr(0, opkit::bad_param_code_width));
    const size_t end = row.size() + static_cast<size_t>(opkit::bad_param_excerpt);
    for (const char c : record) {
        if (c == '\0' || row.size() == end) {
            break;
        }
        row += c;
    }
    return row;
}

namespace {

// The record under a column ruler, with each field's columns marked by its letter.
std::string render_ruler(const Analysis& a) {
    size_t width = static_cast<size_t>(std::max(a.chars, 1));
    for (const FieldReport& f : a.fields) {
        width = std::max(width, static_cast<size_t>(f.first + f.width));
    }
    const Ruler ruler = column_ruler(width);
    std::string shown;
    for (int c = 0; c < a.chars; ++c) {
        const auto u = static_cast<unsigned char>(a.record[static_cast<size_t>(c)]);
        shown += (u < 0x20 || u >= 0x7f) ? '?' : static_cast<char>(u);
    }
    // # under the length digits, = under the name, then each field's letter.
    std::string marks = ("##=======" + std::string(width, ' ')).substr(0, width);
    for (const FieldReport& f : a.fields) {
        for (int c = f.first; c < f.first + f.width && static_cast<size_t>(c) < width; ++c) {
            marks[static_cast<size_t>(c)] = f.read ? f.mark : '.';
        }
    }
    const std::string indent = "    ";
    return indent + ruler.tens + "\n" + indent + ruler.units + "\n" + indent + shown + "\n" +
           indent + marks + "\n\n";
}

std::string render_header(const Analysis& a) {
    const opkit::Field& length = opkit::header_length;
    const opkit::Field& name = opkit::header_name;
    std::string out = "Length digits  columns " + columns_text(length.first, length.width) +
                      "  \"" + printable(a.length_raw) + "\" = " + std::to_string(a.length) +
                      ": the record should end at column " + std::to_string(a.length + 1) + "\n";
    for (const std::string& note : a.length_notes) {
        out += "               " + note + "\n";
    }
    out += "Function       columns " + columns_text(name.first, name.width) + "  \"" +
           printable(a.name_raw) + "\"";
    if (a.layout != nullptr) {
        out += " = " + std::string(a.layout->name) + "\n";
        for (const std::string& need : a.needs) {
            out += "               needs " + need + "\n";
        }
    } else {
        out += ": matches none of the " + count_word(std::size(opkit::layouts)) + " functions\n";
        for (const std::string& note : a.name_notes) {
            out += "               " + note + "\n";
        }
    }
    return out;
}

std::string render_fields(const Analysis& a) {
    if (a.fields.empty()) {
        return {};
    }
    std::string out = "\n   field          columns  raw        value            verdict\n";
    for (const FieldReport& f : a.fields) {
        out += std::string(f.fault ? " ! " : "   ") + f.mark + " " + pad(f.name, 13) +
               pad(columns_text(f.first, f.width), 9) + pad("\"" + printable(f.raw) + "\"", 11) +
               pad(f.value, 17) + f.verdict + "\n                 " + f.meaning + "\n";
    }
    return out;
}

std::string render_checks(const Analysis& a) {
    std::string out = "\nChecks, in the order the function makes them:\n";
    for (const Check& c : a.checks) {
        const char* state = c.state == Check::State::ok      ? "ok   "
                            : c.state == Check::State::fails ? "FAILS"
                                                             : "host ";
        out += "  " + pad(c.code.empty() ? "--" : c.code, 4) + state + "  " + c.text + "\n";
    }
    return out;
}

std::string render_notice(const Analysis& a) {
    std::string out = "\n";
    if (!a.notice.empty()) {
        out += "Notice: " + a.notice;
        if (a.notice_before_host) {
            out += ", before any host service is asked\n";
        } else if (!a.reads.empty()) {
            out += ", after the reads above, when the host can read the variables\n";
        } else {
            out += ", after the host services above\n";
        }
        out += "        row 0 shows \"" + printable(notice_row(a.record, a.notice)) +
               "\"; the call waits for a key and returns 0\n";
    } else {
        out += "Notice: none from the record itself";
        if (!a.reads.empty() || a.divide_by_variable != 0) {
            std::string codes;
            for (const HostRead& r : a.reads) {
                codes += (codes.empty() ? "" : ", ") + r.code + " if variable " +
                         std::to_string(r.variable) + " cannot be read";
            }
            if (a.divide_by_variable != 0) {
                codes += (codes.empty() ? "" : ", ") + std::string("C6 if variable ") +
                         std::to_string(a.divide_by_variable) + " holds 0 or no number";
            }
            out += "; the host decides: " + codes;
        }
        out += "\nDoes:   " + a.action + "\n";
    }
    return out;
}

} // namespace

std::string render_explanation(const Analysis& a) {
    return "Record " + quoted_text(a.record) + " (" + std::to_string(a.chars) +
           (a.chars == 1 ? " character)\n\n" : " characters)\n\n") + render_ruler(a) +
           render_header(a) + render_fields(a) + render_checks(a) + render_notice(a);
}

} // namespace opkit_cli
