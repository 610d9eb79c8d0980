// Record analysis: the handlers' checks replayed over the layout table, without a host.
#include "explain.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "entry/record.h"
#include "host/runtime.h"

namespace opkit_cli {

namespace {

using opkit::Field;

constexpr int notice_excerpt = 18;

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = upper(c);
    }
    return out;
}

std::string escaped_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", u);
        return hex;
    }
    return std::string(1, c);
}

std::string letter_text(char c) {
    if (c == '\0') {
        return "(end of record)";
    }
    if (c == ' ') {
        return "' ' (blank)";
    }
    return "'" + escaped_char(c) + "'";
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
            const int cost = upper(a[i - 1]) == upper(b[j - 1]) ? 0 : 1;
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

    FieldReport& field(const Field& f) {
        for (FieldReport& r : a_.fields) {
            if (r.name == f.name) {
                return r;
            }
        }
        return a_.fields.front(); // every field of the layout has a report
    }

    void not_read(const Field& f, const std::string& why) {
        FieldReport& r = field(f);
        r.read = false;
        r.value = "-";
        r.verdict = "not read " + why;
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

std::string range_text(int32_t value, int low, int high) {
    return std::to_string(value) + (value >= low && value <= high ? " is " : " is not ") +
           std::to_string(low) + " to " + std::to_string(high);
}

// Reads a numeric field that must lie within low..high: gives its report a verdict
// (`in_range` with the value in place of '#', or why it is outside) and checks it under
// `code`. Returns the value.
int32_t ranged_field(Analyser& z, const char* code, const Field& f, int low, int high,
                     const std::string& subject, std::string in_range) {
    const int32_t value = z.number(f);
    FieldReport& report = z.field(f);
    const bool ok = value >= low && value <= high;
    in_range.replace(in_range.find('#'), 1, std::to_string(value));
    report.verdict = ok ? in_range
                        : "outside " + std::to_string(low) + "-" + std::to_string(high) +
                              z.beyond_end(f);
    z.check(code, ok, subject + " " + range_text(value, low, high), &report);
    return value;
}

// "length 21 is at least 21" / "length 20 is below 21", and the same for an upper bound.
std::string length_text(const Analysis& a, const char* op, int32_t bound) {
    const bool at_least = std::string_view(op) == ">=";
    const bool ok = at_least ? a.length >= bound : a.length <= bound;
    const char* relation =
        at_least ? (ok ? " is at least " : " is below ") : (ok ? " is at most " : " is above ");
    return "length " + std::to_string(a.length) + relation + std::to_string(bound);
}

std::string is_text(bool ok, const std::string& subject, const std::string& set) {
    return subject + (ok ? " is " : " is not ") + set;
}

void analyse_dicount(Analyser& z) {
    namespace F = opkit::dicount;
    Analysis& a = z.a_;
    z.check("D1", a.length >= F::min_length, length_text(a, ">=", F::min_length));
    const int32_t n = ranged_field(z, "D2", F::counter, 1, 32, "counter number", "counter #");
    const char op = upper(z.letter(F::operation.first));
    FieldReport& operation = z.field(F::operation);
    const bool known = op == 'D' || op == 'I' || op == 'R' || op == 'S';
    static const char* names[] = {"decrement", "increment", "reset", "store"};
    const std::string op_name = op == 'D'   ? names[0]
                                : op == 'I' ? names[1]
                                : op == 'R' ? names[2]
                                            : names[3];
    operation.verdict = known ? op_name : "not D, I, R or S" + z.beyond_end(F::operation);
    int32_t v = 0;
    if (op == 'S') {
        z.check("D3", a.length >= F::store_min_length,
                "store: " + length_text(a, ">=", F::store_min_length));
        v = ranged_field(z, "D4", F::variable, 1, 19, "store variable", "user variable #");
    } else {
        z.not_read(F::variable, "(store only)");
    }
    z.check(
        "D5", known,
        is_text(known, "operation " + letter_text(z.letter(F::operation.first)), "D, I, R or S"),
        &operation);
    if (op == 'S') {
        z.host_call("_WriteUserVariable(" + std::to_string(v) +
                    ", counter text): a refused write (5) shows \"CFR append too long:\"");
    }
    switch (op) {
    case 'D':
        a.action =
            "decrements counter " + std::to_string(n) + " (a counter at 0 stays at 0); returns 0";
        break;
    case 'I': a.action = "increments counter " + std::to_string(n) + "; returns 0"; break;
    case 'R': a.action = "sets counter " + std::to_string(n) + " to 0; returns 0"; break;
    default:
        a.action = "writes the value of counter " + std::to_string(n) +
                   " as decimal text into user variable " + std::to_string(v) + "; returns 0";
    }
}

void analyse_popupwn(Analyser& z) {
    namespace F = opkit::popupwn;
    Analysis& a = z.a_;
    const char action = upper(z.letter(F::action.first));
    FieldReport& act = z.field(F::action);
    if (action == 'C') {
        act.verdict = "open a box";
        z.check("P2", a.length >= F::open_min_length,
                "open: " + length_text(a, ">=", F::open_min_length));
        const int32_t rows = ranged_field(z, "P3", F::rows, 1, 16, "body rows", "# body rows");
        const char frame = upper(z.letter(F::frame.first));
        const int attribute = frame == 'N' ? 0 : 1;
        z.field(F::frame).verdict = "frame attribute " + std::to_string(attribute) +
                                    (attribute == 1 ? " (reverse)" : " (normal)");
        a.action = "saves screen rows 1-" + std::to_string(rows + 2) +
                   ", columns 2-25, then draws a box of " + std::to_string(rows) +
                   " body rows there in attribute " + std::to_string(attribute) + "; returns 0";
    } else if (action == 'R') {
        act.verdict = "close the box";
        z.not_read(F::rows, "(open only)");
        z.not_read(F::frame, "(open only)");
        z.check("P4", a.length >= F::close_min_length,
                "close: " + length_text(a, ">=", F::close_min_length));
        a.action = "writes back the cells saved under the open box (nothing when no box is open); "
                   "returns 0";
    } else {
        act.verdict = "neither C nor R: the call does nothing" + z.beyond_end(F::action);
        z.not_read(F::rows, "(open only)");
        z.not_read(F::frame, "(open only)");
        a.action =
            "nothing: an action other than C or R is no error and changes nothing; returns 0";
    }
}

std::string relation_name(char first, char second) {
    switch (first) {
    case 'E': return "EQ";
    case 'N': return "NE";
    case 'G': return second == 'E' ? "GE" : second == 'T' ? "GT" : "";
    case 'L': return second == 'E' ? "LE" : second == 'T' ? "LT" : "";
    default: return "";
    }
}

std::string relation_symbol(const std::string& name) {
    if (name == "EQ") {
        return "=";
    }
    if (name == "NE") {
        return "!=";
    }
    if (name == "GE") {
        return ">=";
    }
    if (name == "GT") {
        return ">";
    }
    if (name == "LE") {
        return "<=";
    }
    return "<";
}

void analyse_comparison(Analyser& z, bool text) {
    namespace C = opkit::compare;
    namespace I = opkit::cmp_int;
    Analysis& a = z.a_;
    const Field& left = text ? C::left : I::left;
    const Field& right = text ? C::right : I::right;
    const Field& rel1 = text ? C::relation : I::relation;
    const Field& rel2 = text ? C::relation2 : I::relation2;
    const Field& mode = text ? C::mode : I::mode;
    const int32_t minimum = text ? C::min_length : I::min_length;

    z.check("C1", a.length >= minimum, length_text(a, ">=", minimum));
    // COMPARE hands the number over as converted, CMP_INT only its low 8 bits.
    const int32_t l = z.number(left);
    const int32_t r = z.number(right);
    const int host_l = text ? l : static_cast<uint8_t>(l);
    const int host_r = text ? r : static_cast<uint8_t>(r);
    z.field(left).verdict = "reads user variable " + std::to_string(host_l);
    z.field(right).verdict = "reads user variable " + std::to_string(host_r);
    z.read(host_l, "C2", "left");
    z.read(host_r, "C3", "right");

    const char m = upper(z.letter(mode.first));
    FieldReport& mode_report = z.field(mode);
    const bool mode_ok = m == 'N' || m == 'S' || (!text && m == 'A');
    const int holds = m == 'N' ? 0 : m == 'S' ? 1 : 2;
    const int fails = m == 'N' ? 1 : 0;
    mode_report.verdict =
        mode_ok ? "returns " + std::to_string(holds) + " when the relation holds, " +
                      std::to_string(fails) + " when not"
                : std::string(text ? "not N or S" : "not A, N or S") + z.beyond_end(mode);
    std::string why_mode = is_text(mode_ok, "mode " + letter_text(z.letter(mode.first)),
                                   text ? "N or S" : "A, N or S");
    if (!mode_ok && mode.first >= a.chars && a.length >= minimum) {
        why_mode += " (length " + std::to_string(a.length) +
                    " passes the length check, but the record ends at column " +
                    std::to_string(a.chars - 1) + ", before the mode letter in column " +
                    std::to_string(mode.first) + ": write the record up to column " +
                    std::to_string(mode.first) + ", length " + std::to_string(mode.first - 1) + ")";
    }
    z.check("C4", mode_ok, why_mode, &mode_report);

    const char first = upper(z.letter(rel1.first));
    const bool two_letters = first == 'G' || first == 'L';
    const char second = two_letters ? upper(z.letter(rel2.first)) : ' ';
    const std::string name = relation_name(first, second);
    FieldReport& rel_report = z.field(rel1);
    if (!two_letters) {
        z.not_read(rel2, "(only after G or L)");
    }
    rel_report.verdict =
        name.empty() ? "names no relation" : "left " + relation_symbol(name) + " right";
    if (two_letters) {
        z.field(rel2).verdict = second == 'E'   ? "or equal"
                                : second == 'T' ? "strictly"
                                                : "not E or T";
    }
    const std::string written =
        two_letters ? letter_text(z.letter(rel1.first)) + " " + letter_text(z.letter(rel2.first))
                    : letter_text(z.letter(rel1.first));
    z.check("C5", !name.empty(),
            name.empty() ? "relation " + written + " names no relation (EQ, NE, GE, GT, LE or LT)"
                         : "relation " + written + " is " + name,
            &rel_report);
    if (name.empty() && two_letters) {
        z.field(rel2).fault = true;
    }
    a.action = std::string("compares the ") + (text ? "texts (byte by byte)" : "integer values") +
               " of user variables " + std::to_string(host_l) + " and " + std::to_string(host_r) +
               ": returns " + std::to_string(holds) + " when left " +
               (name.empty() ? "?" : relation_symbol(name)) + " right, else " +
               std::to_string(fails);
}

void analyse_intmath(Analyser& z) {
    namespace F = opkit::intmath;
    Analysis& a = z.a_;
    z.check("C1", a.length >= F::min_length, length_text(a, ">=", F::min_length));
    const int host_l = static_cast<uint8_t>(z.number(F::left));
    const int host_r = static_cast<uint8_t>(z.number(F::right));
    z.field(F::left).verdict = "reads user variable " + std::to_string(host_l);
    z.field(F::right).verdict = "reads user variable " + std::to_string(host_r);
    z.read(host_l, "C2", "left");
    z.read(host_r, "C3", "right");
    const char op = z.letter(F::op.first);
    const bool ok = op == '*' || op == '+' || op == '-' || op == '/';
    FieldReport& op_report = z.field(F::op);
    op_report.verdict = ok ? std::string(op == '*'   ? "multiply"
                                         : op == '+' ? "add"
                                         : op == '-' ? "subtract"
                                                     : "divide")
                           : "not * + - /" + z.beyond_end(F::op);
    z.check("C5", ok, is_text(ok, "operator " + letter_text(op), "one of * + - /"), &op_report);
    if (ok && op == '/' && !z.stopped()) {
        a.divide_by_variable = host_r;
        a.checks.push_back(Check{"C6",
                                 "divide: the text of user variable " + std::to_string(host_r) +
                                     " must not convert to 0",
                                 Check::State::host});
    }
    a.action = "writes (variable " + std::to_string(host_l) + ") " +
               (ok ? std::string(1, op) : "?") + " (variable " + std::to_string(host_r) +
               ") as decimal text into user variable 1; returns 0";
}

void analyse_chkuniq(Analyser& z) {
    namespace F = opkit::chkuniq;
    Analysis& a = z.a_;
    const char action = upper(z.letter(F::action.first));
    FieldReport& act = z.field(F::action);
    if (action == 'V') {
        act.verdict = "verify a value";
        z.not_read(F::reset_list, "(reset only)");
        z.check("U2", a.length >= F::verify_min_length,
                "verify: " + length_text(a, ">=", F::verify_min_length));
        const int32_t v = z.number(F::variable);
        z.field(F::variable).verdict = "reads user variable " + std::to_string(v);
        z.read(v, "U3", "the value");
        const int32_t list = z.number(F::verify_list);
        FieldReport& l = z.field(F::verify_list);
        l.verdict = list == 1 || list == 2 ? "list " + std::to_string(list)
                                           : "not 1 or 2" + z.beyond_end(F::verify_list);
        z.check("U4", list == 1 || list == 2,
                is_text(list == 1 || list == 2,
                        "list " + letter_text(z.letter(F::verify_list.first)), "1 or 2"),
                &l);
        a.action = "returns 1 and adds the value of user variable " + std::to_string(v) +
                   " to list " + std::to_string(list) +
                   " when the list's last ten values do not hold it, else returns 0";
    } else if (action == 'R') {
        act.verdict = "reset a list";
        z.not_read(F::variable, "(verify only)");
        z.not_read(F::verify_list, "(verify only)");
        z.check("U5", a.length >= F::reset_min_length,
                "reset: " + length_text(a, ">=", F::reset_min_length));
        const int32_t list = z.number(F::reset_list);
        FieldReport& l = z.field(F::reset_list);
        l.verdict = list == 1 || list == 2 ? "list " + std::to_string(list)
                                           : "not 1 or 2" + z.beyond_end(F::reset_list);
        z.check("U4", list == 1 || list == 2,
                is_text(list == 1 || list == 2,
                        "list " + letter_text(z.letter(F::reset_list.first)), "1 or 2"),
                &l);
        a.action = "empties list " + std::to_string(list) +
                   " (the next new value goes where it would have gone); returns 0";
    } else {
        act.verdict = "neither V nor R: the call does nothing" + z.beyond_end(F::action);
        z.not_read(F::variable, "(verify only)");
        z.not_read(F::verify_list, "(verify only)");
        z.not_read(F::reset_list, "(reset only)");
        a.action =
            "nothing: an action other than V or R is no error and changes nothing; returns 0";
    }
}

void analyse_tm_date(Analyser& z) {
    namespace F = opkit::tm_date;
    Analysis& a = z.a_;
    z.check("E1", a.length >= F::min_length, length_text(a, ">=", F::min_length));
    const int32_t tv = ranged_field(z, "E2", F::time_variable, 1, 19, "time variable",
                                    "time goes to user variable #");
    const int32_t dv = ranged_field(z, "E3", F::date_variable, 1, 19, "date variable",
                                    "date goes to user variable #");
    const int32_t hours = z.number(F::hours);
    FieldReport& h = z.field(F::hours);
    h.verdict = hours == 24 ? "hh:mm:ss" : hours == 12 ? "hh:mm:ss AM/PM" : "not 12 or 24";
    z.host_call("_IdleManager(0)");
    z.check("E4", hours == 12 || hours == 24,
            is_text(hours == 12 || hours == 24, "hour format " + std::to_string(hours), "12 or 24"),
            &h);
    const std::string style = z.text(F::style.first, F::style.width);
    const bool amer = opkit::text_compare_nocase(style.c_str(), "AMER") == 0;
    const bool euro = opkit::text_compare_nocase(style.c_str(), "EURO") == 0;
    FieldReport& s = z.field(F::style);
    s.verdict = amer ? "MM/DD/YY" : euro ? "DD.MM.YY" : "not AMER or EURO" + z.beyond_end(F::style);
    z.check("E5", amer || euro,
            is_text(amer || euro, "style \"" + style + "\"", "AMER or EURO (any case)"), &s);
    a.action = std::string("writes the date as ") + (amer ? "MM/DD/YY" : "DD.MM.YY") +
               " into user variable " + std::to_string(dv) + " and the time as " +
               (hours == 12 ? "hh:mm:ss AM/PM" : "hh:mm:ss") + " into user variable " +
               std::to_string(tv) + "; returns 0";
}

void analyse_tranmsg(Analyser& z) {
    namespace F = opkit::tranmsg;
    Analysis& a = z.a_;
    z.check("F1", a.length >= F::min_length,
            length_text(a, ">=", F::min_length) +
                " (the record reaches column 11, one past the letter)");
    const char c = z.letter(F::switch_letter.first);
    const bool off = c == 'N' || c == 'n';
    z.field(F::switch_letter).verdict = off ? "off" : "on";
    a.action = std::string("switches the host's transaction messages ") + (off ? "off" : "on") +
               "; returns 0";
}

void analyse_v_delay(Analyser& z) {
    namespace F = opkit::v_delay;
    Analysis& a = z.a_;
    z.check("V3", a.length <= F::max_length, length_text(a, "<=", F::max_length));
    const int32_t width =
        std::clamp(a.length - F::count_offset, 0, static_cast<int32_t>(F::count.width));
    FieldReport& count = z.field(F::count);
    count.width = std::max(1, width);
    count.raw = z.text(F::count.first, width);
    const int32_t n = opkit::text_to_int(count.raw.c_str());
    count.value = std::to_string(n);
    const int64_t passes = std::max<int64_t>(1, 8LL * n / 3);
    count.verdict = width == 0 ? "no count: the length leaves no columns for it; one pass"
                               : std::to_string(passes) + " passes of 20 ms";
    a.action = "waits " + std::to_string(passes) + " passes of 20 ms (" +
               std::to_string(passes * 20) +
               " ms), ending early on the abort key (256) or a stop; returns 0";
}

void analyse_wait_uv(Analyser& z) {
    namespace F = opkit::wait_uv;
    Analysis& a = z.a_;
    z.check("W2", a.length >= F::min_length, length_text(a, ">=", F::min_length));
    const int32_t v = z.number(F::variable);
    z.field(F::variable).verdict = "waits for user variable " + std::to_string(v);
    z.read(v, "W3", "the variable");
    const uint16_t timeout = static_cast<uint16_t>(z.number(F::timeout));
    z.field(F::timeout).value = std::to_string(timeout);
    // The wait counts whole seconds of the host's clock and ends once more than the timeout
    // have passed: up to one second beyond it, depending on where in a second it began.
    const std::string whole = "more than " + std::to_string(timeout) + " whole seconds";
    const std::string longest = "up to " + std::to_string(timeout + 1) + " s";
    z.field(F::timeout).verdict = "ends once " + whole + " have passed (" + longest + ")";
    a.action = "waits for user variable " + std::to_string(v) +
               " to hold text: returns 1 when it does, 0 once " + whole + " have passed (" +
               longest + "), 2 on the abort key (256) or a stop";
}

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

    char name[8];
    opkit::record_field_text(record, opkit::header_name, name);
    a.name_raw = name;
    for (const opkit::Layout& layout : opkit::layouts) {
        if (opkit::text_compare_nocase(name, layout.name) == 0) {
            a.layout = &layout;
            break;
        }
    }
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
    std::string best;
    int best_distance = 3;
    for (const opkit::Layout& layout : opkit::layouts) {
        const int d = edit_distance(a.name_raw, layout.name);
        if (d < best_distance) {
            best_distance = d;
            best = layout.name;
        }
    }
    if (!best.empty()) {
        a.name_notes.push_back("did you mean " + best + "?");
    }
}

std::string pad(std::string text, size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += escaped_char(c);
    }
    return out;
}

} // namespace

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
    for (size_t i = 0; i < layout.length_count; ++i) {
        const opkit::LengthRule& rule = layout.lengths[i];
        std::string need = rule.minimum > 0 ? "length at least " + std::to_string(rule.minimum)
                                            : "length at most " + std::to_string(rule.maximum);
        a.needs.push_back(need + " (" + rule.applies + "; else " + rule.code + ")");
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
    const std::string name = layout.name;
    if (name == "DICOUNT") {
        analyse_dicount(z);
    } else if (name == "POPUPWN") {
        analyse_popupwn(z);
    } else if (name == "COMPARE") {
        analyse_comparison(z, true);
    } else if (name == "CMP_INT") {
        analyse_comparison(z, false);
    } else if (name == "INTMATH") {
        analyse_intmath(z);
    } else if (name == "CHKUNIQ") {
        analyse_chkuniq(z);
    } else if (name == "TM_DATE") {
        analyse_tm_date(z);
    } else if (name == "TRANMSG") {
        analyse_tranmsg(z);
    } else if (name == "V_DELAY") {
        analyse_v_delay(z);
    } else if (name == "WAIT_UV") {
        analyse_wait_uv(z);
    }
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
    std::string excerpt;
    for (const char c : record) {
        if (c == '\0' || excerpt.size() == static_cast<size_t>(notice_excerpt)) {
            break;
        }
        excerpt += c;
    }
    return "Bad CCFR(" + std::string(code.substr(0, 2)) + "):" + excerpt;
}

std::string quote_record(std::string_view record) {
    std::string out = "\"";
    for (const char c : record) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += escaped_char(c);
        }
    }
    return out + "\"";
}

std::string render_explanation(const Analysis& a) {
    std::string out;
    out += "Record " + quote_record(a.record) + " (" + std::to_string(a.chars) + " characters)\n\n";

    // The record under a column ruler, with each field's columns marked by its letter.
    const size_t width = static_cast<size_t>(std::max(a.chars, 1));
    size_t ruler_width = width;
    for (const FieldReport& f : a.fields) {
        ruler_width = std::max(ruler_width, static_cast<size_t>(f.first + f.width));
    }
    std::string tens(ruler_width, ' ');
    std::string units(ruler_width, ' ');
    for (size_t c = 0; c < ruler_width; ++c) {
        if (c % 10 == 0 && c > 0) {
            tens[c] = static_cast<char>('0' + (c / 10) % 10);
        }
        units[c] = static_cast<char>('0' + c % 10);
    }
    std::string shown;
    for (int c = 0; c < a.chars; ++c) {
        const auto u = static_cast<unsigned char>(a.record[static_cast<size_t>(c)]);
        shown += (u < 0x20 || u >= 0x7f) ? '?' : static_cast<char>(u);
    }
    std::string marks(ruler_width, ' ');
    for (size_t c = 0; c < 2 && c < ruler_width; ++c) {
        marks[c] = '#';
    }
    for (size_t c = 2; c < 9 && c < ruler_width; ++c) {
        marks[c] = '=';
    }
    for (const FieldReport& f : a.fields) {
        for (int c = f.first; c < f.first + f.width && static_cast<size_t>(c) < ruler_width; ++c) {
            marks[static_cast<size_t>(c)] = f.read ? f.mark : '.';
        }
    }
    const std::string indent = "    ";
    out += indent + tens + "\n" + indent + units + "\n" + indent + shown + "\n" + indent + marks +
           "\n\n";

    out += "Length digits  columns 0-1  \"" + printable(a.length_raw) +
           "\" = " + std::to_string(a.length) + ": the record should end at column " +
           std::to_string(a.length + 1) + "\n";
    for (const std::string& note : a.length_notes) {
        out += "               " + note + "\n";
    }
    out += "Function       columns 2-8  \"" + printable(a.name_raw) + "\"";
    if (a.layout != nullptr) {
        out += " = " + std::string(a.layout->name) + "\n";
        for (const std::string& need : a.needs) {
            out += "               needs " + need + "\n";
        }
    } else {
        out += ": matches none of the ten functions\n";
        for (const std::string& note : a.name_notes) {
            out += "               " + note + "\n";
        }
    }

    if (!a.fields.empty()) {
        out += "\n   field          columns  raw        value            verdict\n";
        for (const FieldReport& f : a.fields) {
            std::string line =
                std::string(f.fault ? " ! " : "   ") + f.mark + " " + pad(f.name, 13);
            line += pad(columns_text(f.first, f.width), 9);
            line += pad("\"" + printable(f.raw) + "\"", 11);
            line += pad(f.value, 17);
            line += f.verdict;
            out += line + "\n";
            out += "                 " + f.meaning + "\n";
        }
    }

    out += "\nChecks, in the order the function makes them:\n";
    for (const Check& c : a.checks) {
        const char* state = c.state == Check::State::ok      ? "ok   "
                            : c.state == Check::State::fails ? "FAILS"
                                                             : "host ";
        out += "  " + pad(c.code.empty() ? "--" : c.code, 4) + state + "  " + c.text + "\n";
    }
    out += "\n";
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

} // namespace opkit_cli
