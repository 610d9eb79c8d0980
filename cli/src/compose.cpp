// Composing call records from named fields, function by function.
#include "compose.h"

#include <cctype>
#include <charconv>
#include <map>
#include <set>

namespace opkit_cli {

namespace {

using opkit::Field;
using opkit::Layout;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

struct Choice {
    const char* word; // accepted spelling (compared without case)
    char letter;      // what goes into the record
};

// The fields given, with the index of each assignment for error messages.
class Builder {
  public:
    Builder(const Layout& layout, const std::vector<FieldAssignment>& fields) : layout_(layout) {
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string name = lower(fields[i].name);
            if (!known(name)) {
                throw ComposeError(std::string(layout.name) + " has no field \"" + fields[i].name +
                                       "\"; its fields are: " + field_names(),
                                   static_cast<int>(i));
            }
            if (given_.count(name) != 0) {
                throw ComposeError("field \"" + fields[i].name + "\" is given twice",
                                   static_cast<int>(i));
            }
            given_[name] = Given{fields[i].value, static_cast<int>(i)};
        }
        record_ = std::string("00") + layout.name;
    }

    bool has(const std::string& name) const { return given_.count(name) != 0; }

    // The value of a field that this call needs.
    const std::string& need(const std::string& name, const std::string& why) {
        const auto it = given_.find(name);
        if (it == given_.end()) {
            throw ComposeError(std::string(layout_.name) + " needs " + name + "=" + why, -1);
        }
        used_.insert(name);
        return it->second.value;
    }

    int index_of(const std::string& name) const {
        const auto it = given_.find(name);
        return it == given_.end() ? -1 : it->second.index;
    }

    [[noreturn]] void reject(const std::string& name, const std::string& message) const {
        throw ComposeError(name + "=" + given_.at(name).value + ": " + message, index_of(name));
    }

    int64_t number(const std::string& name, int64_t minimum, int64_t maximum,
                   const std::string& why) {
        const std::string& text = need(name, why);
        int64_t value = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) {
            reject(name, "not a whole number; " + why);
        }
        if (value < minimum || value > maximum) {
            reject(name, "out of range; " + why);
        }
        return value;
    }

    char choice(const std::string& name, std::initializer_list<Choice> choices,
                const std::string& why) {
        const std::string value = lower(need(name, why));
        for (const Choice& c : choices) {
            if (value == lower(c.word)) {
                return c.letter;
            }
        }
        reject(name, "not accepted; " + why);
    }

    // Puts `text` at the field's columns, right-aligned digits or the letter itself.
    void place(const Field& field, const std::string& text) {
        const size_t end = static_cast<size_t>(field.first) + text.size();
        if (record_.size() < end) {
            record_.resize(end, ' ');
        }
        record_.replace(field.first, text.size(), text);
    }

    void place_number(const Field& field, int64_t value) {
        std::string digits = std::to_string(value);
        while (digits.size() < field.width) {
            digits.insert(digits.begin(), '0');
        }
        place(field, digits);
    }

    // Pads the record to at least `minimum_length` (the handler's threshold) and writes the
    // length digits, which count the characters from column 2 on.
    std::string finish(int32_t minimum_length, std::vector<std::string>& notes) {
        const size_t chars = static_cast<size_t>(minimum_length) + 2;
        if (record_.size() < chars) {
            record_.resize(chars, ' ');
        }
        const size_t length = record_.size() - 2;
        if (length > 99) {
            throw ComposeError("the record would need more than 99 characters", -1);
        }
        record_[0] = static_cast<char>('0' + length / 10);
        record_[1] = static_cast<char>('0' + length % 10);
        for (const auto& [name, given] : given_) {
            if (used_.count(name) == 0) {
                notes.push_back("field " + name + " is not read by this call; left out");
            }
        }
        return record_;
    }

  private:
    struct Given {
        std::string value;
        int index;
    };

    bool known(const std::string& name) const {
        for (size_t i = 0; i < layout_.field_count; ++i) {
            if (name == layout_.fields[i].name) {
                return true;
            }
        }
        return false;
    }

    std::string field_names() const {
        std::string names;
        for (size_t i = 0; i < layout_.field_count; ++i) {
            if (std::string_view(layout_.fields[i].name) == "relation2") {
                continue; // written through relation=GE
            }
            names += (names.empty() ? "" : ", ") + std::string(layout_.fields[i].name);
        }
        return names;
    }

    const Layout& layout_;
    std::map<std::string, Given> given_;
    std::set<std::string> used_;
    std::string record_;
};

constexpr const char* variable_any = "a user variable number, 1 to 99";

// relation=GE (or EQ, NE, GT, LE, LT, or >= = != > <= <) fills both relation columns.
void place_relation(Builder& b, const Field& first, const Field& second) {
    static const std::map<std::string, std::string> symbols{
        {"=", "EQ"},  {"==", "EQ"}, {"!=", "NE"}, {"<>", "NE"},
        {">=", "GE"}, {">", "GT"},  {"<=", "LE"}, {"<", "LT"}};
    const std::string why = "one of EQ NE GE GT LE LT (or = != >= > <= <)";
    std::string value = upper(b.need("relation", why));
    if (const auto it = symbols.find(value); it != symbols.end()) {
        value = it->second;
    }
    if (b.has("relation2")) {
        // The two columns given one by one: relation=G relation2=E.
        if (value.size() != 1) {
            b.reject("relation", "give one letter when relation2 is given too");
        }
        value += upper(b.need("relation2", "E or T"));
    }
    static const std::set<std::string> accepted{"EQ", "NE", "GE", "GT", "LE", "LT"};
    if (accepted.count(value) == 0) {
        b.reject("relation", "not accepted; " + why);
    }
    b.place(first, value.substr(0, 1));
    b.place(second, value.substr(1, 1));
}

Composed compose_for(const Layout& layout, const std::vector<FieldAssignment>& fields) {
    namespace L = opkit;
    Builder b(layout, fields);
    Composed out;
    const std::string name = layout.name;
    int32_t minimum = 0;

    if (name == "DICOUNT") {
        const char op = b.choice("operation",
                                 {{"D", 'D'},
                                  {"decrement", 'D'},
                                  {"I", 'I'},
                                  {"increment", 'I'},
                                  {"R", 'R'},
                                  {"reset", 'R'},
                                  {"S", 'S'},
                                  {"store", 'S'}},
                                 "D (decrement), I (increment), R (reset) or S (store)");
        b.place(L::dicount::operation, std::string(1, op));
        b.place_number(L::dicount::counter,
                       b.number("counter", 1, 32, "a counter number, 1 to 32"));
        minimum = L::dicount::min_length;
        if (op == 'S') {
            b.place_number(
                L::dicount::variable,
                b.number("variable", 1, 19, "the user variable that receives the value, 1 to 19"));
            minimum = L::dicount::store_min_length;
        }
    } else if (name == "POPUPWN") {
        const char action =
            b.choice("action", {{"C", 'C'}, {"open", 'C'}, {"R", 'R'}, {"close", 'R'}},
                     "C (open a box) or R (close it)");
        b.place(L::popupwn::action, std::string(1, action));
        if (action == 'C') {
            b.place_number(L::popupwn::rows,
                           b.number("rows", 1, 16, "body rows of the box, 1 to 16"));
            const char frame = b.choice(
                "frame",
                {{"N", 'N'}, {"normal", 'N'}, {"0", 'N'}, {"R", 'R'}, {"reverse", 'R'}, {"1", 'R'}},
                "N (normal, attribute 0) or R (reverse, attribute 1)");
            b.place(L::popupwn::frame, std::string(1, frame));
            minimum = L::popupwn::open_min_length;
        } else {
            minimum = L::popupwn::close_min_length;
        }
    } else if (name == "COMPARE" || name == "CMP_INT") {
        const bool text = name == "COMPARE";
        const Field& left = text ? L::compare::left : L::cmp_int::left;
        const Field& right = text ? L::compare::right : L::cmp_int::right;
        b.place_number(left, b.number("left", 1, 99, variable_any));
        place_relation(b, text ? L::compare::relation : L::cmp_int::relation,
                       text ? L::compare::relation2 : L::cmp_int::relation2);
        b.place_number(right, b.number("right", 1, 99, variable_any));
        const char mode =
            text ? b.choice("mode", {{"N", 'N'}, {"S", 'S'}},
                            "N (0 when the relation holds, else 1) or S (1 when it holds, else 0)")
                 : b.choice(
                       "mode", {{"N", 'N'}, {"S", 'S'}, {"A", 'A'}},
                       "N (0 when the relation holds), S (1 when it holds) or A (2 when it holds)");
        b.place(text ? L::compare::mode : L::cmp_int::mode, std::string(1, mode));
        minimum = text ? L::compare::min_length : L::cmp_int::min_length;
    } else if (name == "INTMATH") {
        b.place_number(L::intmath::left, b.number("left", 1, 99, variable_any));
        const char op = b.choice("operator",
                                 {{"*", '*'},
                                  {"times", '*'},
                                  {"+", '+'},
                                  {"plus", '+'},
                                  {"-", '-'},
                                  {"minus", '-'},
                                  {"/", '/'},
                                  {"divide", '/'}},
                                 "one of * + - / (the result goes to user variable 1)");
        b.place(L::intmath::op, std::string(1, op));
        b.place_number(L::intmath::right, b.number("right", 1, 99, variable_any));
        minimum = L::intmath::min_length;
    } else if (name == "CHKUNIQ") {
        const char action =
            b.choice("action", {{"V", 'V'}, {"verify", 'V'}, {"R", 'R'}, {"reset", 'R'}},
                     "V (verify a value) or R (reset a list)");
        b.place(L::chkuniq::action, std::string(1, action));
        if (action == 'V') {
            b.place_number(L::chkuniq::variable, b.number("variable", 1, 99, variable_any));
            b.place_number(L::chkuniq::verify_list, b.number("list", 1, 2, "list 1 or 2"));
            minimum = L::chkuniq::verify_min_length;
        } else {
            // A reset takes its list in column 23; list= and reset_list= both name it.
            const std::string key = b.has("reset_list") || !b.has("list") ? "reset_list" : "list";
            b.place_number(L::chkuniq::reset_list, b.number(key, 1, 2, "list 1 or 2"));
            minimum = L::chkuniq::reset_min_length;
        }
    } else if (name == "TM_DATE") {
        const int64_t hours = b.number("hours", 12, 24, "the hour format, 12 or 24");
        if (hours != 12 && hours != 24) {
            b.reject("hours", "the hour format is 12 or 24");
        }
        b.place_number(L::tm_date::hours, hours);
        b.place_number(L::tm_date::time_variable,
                       b.number("time_variable", 1, 19, "the user variable for the time, 1 to 19"));
        const std::string style = upper(b.need("style", "AMER or EURO"));
        if (style != "AMER" && style != "EURO") {
            b.reject("style", "the date style is AMER (MM/DD/YY) or EURO (DD.MM.YY)");
        }
        b.place(L::tm_date::style, style);
        b.place_number(L::tm_date::date_variable,
                       b.number("date_variable", 1, 19, "the user variable for the date, 1 to 19"));
        minimum = L::tm_date::min_length;
    } else if (name == "TRANMSG") {
        const char letter = b.choice("switch", {{"N", 'N'}, {"off", 'N'}, {"Y", 'Y'}, {"on", 'Y'}},
                                     "off (N) or on (Y)");
        b.place(L::tranmsg::switch_letter, std::string(1, letter));
        minimum = L::tranmsg::min_length;
    } else if (name == "V_DELAY") {
        const int64_t count =
            b.number("count", 0, 99999, "the delay count, 0 to 99999 (about 53 ms each)");
        b.place(L::v_delay::count, std::to_string(count));
        minimum = 0;
    } else if (name == "WAIT_UV") {
        b.place_number(L::wait_uv::variable, b.number("variable", 1, 99, variable_any));
        b.place_number(L::wait_uv::timeout,
                       b.number("timeout", 0, 999, "the timeout in seconds, 0 to 999"));
        minimum = L::wait_uv::min_length;
    }
    out.record = b.finish(minimum, out.notes);
    return out;
}

} // namespace

const opkit::Layout* find_layout(std::string_view name) {
    const std::string wanted = upper(name);
    for (const opkit::Layout& layout : opkit::layouts) {
        if (wanted == layout.name) {
            return &layout;
        }
    }
    return nullptr;
}

Composed compose_record(std::string_view function, const std::vector<FieldAssignment>& fields) {
    const opkit::Layout* layout = find_layout(function);
    if (layout == nullptr) {
        throw ComposeError("no function is called \"" + std::string(function) + "\"; " +
                               compose_functions_help(),
                           -1);
    }
    return compose_for(*layout, fields);
}

FieldAssignment parse_assignment(std::string_view text, int index) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        throw ComposeError("\"" + std::string(text) + "\" is not field=value", index);
    }
    return FieldAssignment{std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

std::string compose_functions_help() {
    std::string names;
    for (const opkit::Layout& layout : opkit::layouts) {
        names += (names.empty() ? "" : " ") + std::string(layout.name);
    }
    return "the functions are " + names;
}

std::string compose_fields_help(const opkit::Layout& layout) {
    static const std::map<std::string, std::string> accepted{
        {"DICOUNT.operation", "D|decrement I|increment R|reset S|store"},
        {"DICOUNT.counter", "1-32"},
        {"DICOUNT.variable", "1-19 (store only)"},
        {"POPUPWN.action", "C|open R|close"},
        {"POPUPWN.rows", "1-16 (open only)"},
        {"POPUPWN.frame", "N|normal R|reverse (open only)"},
        {"COMPARE.left", "1-99"},
        {"COMPARE.relation", "EQ NE GE GT LE LT (or = != >= > <= <)"},
        {"COMPARE.right", "1-99"},
        {"COMPARE.mode", "N S"},
        {"CMP_INT.left", "1-99"},
        {"CMP_INT.relation", "EQ NE GE GT LE LT (or = != >= > <= <)"},
        {"CMP_INT.right", "1-99"},
        {"CMP_INT.mode", "N S A"},
        {"INTMATH.left", "1-99"},
        {"INTMATH.operator", "* + - /"},
        {"INTMATH.right", "1-99"},
        {"CHKUNIQ.action", "V|verify R|reset"},
        {"CHKUNIQ.variable", "1-99 (verify only)"},
        {"CHKUNIQ.list", "1 2"},
        {"CHKUNIQ.reset_list", "1 2 (reset only; list= also works)"},
        {"TM_DATE.hours", "12 24"},
        {"TM_DATE.time_variable", "1-19"},
        {"TM_DATE.style", "AMER EURO"},
        {"TM_DATE.date_variable", "1-19"},
        {"TRANMSG.switch", "off|N on|Y"},
        {"V_DELAY.count", "0-99999"},
        {"WAIT_UV.variable", "1-99"},
        {"WAIT_UV.timeout", "0-999"},
    };
    std::string out = std::string(layout.name) + " fields:\n";
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field& f = layout.fields[i];
        if (std::string_view(f.name) == "relation2") {
            continue;
        }
        const auto it = accepted.find(std::string(layout.name) + "." + f.name);
        std::string line = "  " + std::string(f.name) + "=";
        line += it != accepted.end() ? it->second : "?";
        while (line.size() < 48) {
            line += ' ';
        }
        out += line + " " + f.meaning + "\n";
    }
    return out;
}

} // namespace opkit_cli
