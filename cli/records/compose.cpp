// Composing call records from named fields, function by function.
#include "compose.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "explain.h"
#include "text.h"

namespace opkit_cli {

std::string record_too_long(std::string_view record) {
    if (record.size() <= max_record_bytes) {
        return {};
    }
    return "a record is at most " + std::to_string(max_record_bytes) + " characters, not " +
           std::to_string(record.size());
}

ComposeError::ComposeError(const std::string& message, int index)
    : std::runtime_error(printable(message, true)), index_(index) {}

std::string unknown_function(std::string_view name) {
    const std::string best = closest_function(name);
    return "no function is called \"" + std::string(name) + "\"; " +
           (best.empty() ? compose_functions_help() : "did you mean " + best + "?");
}

namespace {

using opkit::Field;
using opkit::Layout;

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

    // Puts `text` at the field's columns, right-aligned digits or the letter itself.
    void place(const Field& field, const std::string& text) {
        const size_t end = static_cast<size_t>(field.first) + text.size();
        if (record_.size() < end) {
            record_.resize(end, ' ');
        }
        record_.replace(field.first, text.size(), text);
    }

    // The characters placed in the field's columns.
    std::string placed(const Field& field) const {
        return record_.substr(field.first, field.width);
    }

    // A number right-aligned in the field: zeros before it, or blanks before a negative one
    // (the conversion skips blanks and stops at a digit after the sign).
    void place_number(const Field& field, int64_t value) {
        std::string digits = std::to_string(value);
        while (digits.size() < field.width) {
            digits.insert(digits.begin(), value < 0 ? ' ' : '0');
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
        if (length > static_cast<size_t>(opkit::header_length.high)) {
            throw ComposeError("the record would need more than " +
                                   std::to_string(opkit::header_length.high) + " characters",
                               -1);
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
            const Field& field = layout_.fields[i];
            if (name == field.name || has_alias(field, name)) {
                return true;
            }
        }
        return false;
    }

    std::string field_names() const {
        std::string names;
        for (size_t i = 0; i < layout_.field_count; ++i) {
            if (is_second_letter(layout_, layout_.fields[i])) {
                continue; // written through the relation's name
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

// relation=GE (or EQ, NE, GT, LE, LT, or >= = != > <= <) fills both relation columns with the
// relation's name.
void place_relation(Builder& b, const Field& first, const Field& second) {
    const std::string why = "one of " + relation_values_text();
    std::string value = upper(b.need(first.name, why));
    // Other symbols for two of the relations, besides each relation's own.
    static const std::map<std::string, std::string> spellings{{"==", "="}, {"<>", "!="}};
    if (const auto it = spellings.find(value); it != spellings.end()) {
        value = it->second;
    }
    for (const opkit::RelationName& relation : opkit::relation_names) {
        if (value == relation.symbol) {
            value = relation.name;
        }
    }
    if (b.has(second.name)) {
        // The two columns given one by one: relation=G relation2=E.
        if (value.size() != 1) {
            b.reject(first.name,
                     std::string("give one letter when ") + second.name + " is given too");
        }
        std::string letters;
        for (const Accepted& a : accepted_values(second)) {
            letters += (letters.empty() ? "" : " or ") + a.value;
        }
        value += upper(b.need(second.name, letters));
    }
    for (const opkit::RelationName& relation : opkit::relation_names) {
        if (value == relation.name) {
            b.place(first, value.substr(0, 1));
            b.place(second, value.substr(1, 1));
            return;
        }
    }
    b.reject(first.name, "not accepted; " + why);
}

// The assignment that names a field: its own name, else one of its aliases that is given.
std::string key_for(const Builder& b, const Field& field) {
    if (!b.has(field.name)) {
        for (const std::string& alias : aliases_of(field)) {
            if (b.has(alias)) {
                return alias;
            }
        }
    }
    return field.name;
}

// Places one field from its assignment, checked against the values the field accepts.
void place_field(Builder& b, const Field& field) {
    const std::string key = key_for(b, field);
    const bool range = field.kind == opkit::FieldKind::number && field.accepts == nullptr;
    const std::string why = std::string(field.meaning) + ", " +
                            (range ? std::to_string(field.low) + " to " + std::to_string(field.high)
                                   : field_values_text(field));
    if (range) {
        const int64_t value = b.number(key, field.low, field.high, why);
        // A count that fills the record to its end: its digits stand as given.
        if (field.to_end) {
            b.place(field, std::to_string(value));
        } else {
            b.place_number(field, value);
        }
        return;
    }
    const std::string given = b.need(key, why);
    for (const Accepted& a : accepted_values(field)) {
        for (const std::string& spelling : a.spellings) {
            if (lower(given) == lower(spelling)) {
                b.place(field, a.value);
                return;
            }
        }
    }
    b.reject(key, "not accepted; " + why);
}

Composed compose_for(const Layout& layout, const std::vector<FieldAssignment>& fields) {
    Builder b(layout, fields);
    const Field& first = layout.fields[0];
    std::string selector;
    Composed out;
    for (size_t i = 0; i < layout.field_count; ++i) {
        const Field& field = layout.fields[i];
        if (!letter_in(field.read_for, selector)) {
            continue;
        }
        if (field.pair != nullptr) {
            place_relation(b, field, *field.pair);
            continue;
        }
        if (is_second_letter(layout, field)) {
            continue; // placed with its relation letter
        }
        place_field(b, field);
        if (&field == &first && field.kind == opkit::FieldKind::letter) {
            selector = b.placed(field);
        }
    }
    int32_t minimum = 0;
    for (size_t i = 0; i < layout.check_count; ++i) {
        const opkit::Check& check = layout.checks[i];
        if (check.test == opkit::Test::length_at_least &&
            (check.when == nullptr || letter_in(check.when_letters, selector))) {
            minimum = std::max(minimum, check.bound);
        }
    }
    out.record = b.finish(minimum, out.notes);
    return out;
}

} // namespace

const opkit::Layout* find_layout(std::string_view name) {
    return opkit::find_function(name.data(), name.size());
}

Composed compose_record(std::string_view function, const std::vector<FieldAssignment>& fields) {
    const opkit::Layout* layout = find_layout(function);
    if (layout == nullptr) {
        throw ComposeError(unknown_function(function), -1);
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
    std::string out = std::string(layout.name) + " fields:\n";
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field& f = layout.fields[i];
        if (is_second_letter(layout, f)) {
            continue;
        }
        std::string line = "  " + std::string(f.name) + "=";
        line += f.pair != nullptr ? relation_values_text() : field_values_text(f);
        while (line.size() < 48) {
            line += ' ';
        }
        out += line + " " + f.meaning + "\n";
    }
    return out;
}

std::vector<Accepted> accepted_values(const opkit::Field& field) {
    std::vector<Accepted> out;
    std::string_view list = field.accepts != nullptr ? field.accepts : "";
    while (!list.empty()) {
        const size_t blank = list.find(' ');
        std::string_view entry = list.substr(0, blank);
        list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
        Accepted a;
        while (!entry.empty()) {
            const size_t colon = entry.find(':');
            a.spellings.emplace_back(entry.substr(0, colon));
            entry = colon == std::string_view::npos ? std::string_view() : entry.substr(colon + 1);
        }
        a.value = a.spellings.front();
        out.push_back(std::move(a));
    }
    return out;
}

std::string field_values_text(const opkit::Field& field) {
    std::string out;
    if (field.accepts == nullptr) {
        out = std::to_string(field.low) + "-" + std::to_string(field.high);
    }
    for (const Accepted& a : accepted_values(field)) {
        std::string entry;
        for (const std::string& spelling : a.spellings) {
            entry += (entry.empty() ? "" : "|") + spelling;
        }
        out += (out.empty() ? "" : " ") + entry;
    }
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = opkit::upper_case(c);
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

bool letter_in(const char* letters, std::string_view value) {
    if (letters == nullptr) {
        return true;
    }
    return value.size() == 1 &&
           std::string_view(letters).find(opkit::upper_case(value[0])) != std::string_view::npos;
}

std::string relation_values_text() {
    std::string names;
    std::string symbols;
    for (const opkit::RelationName& relation : opkit::relation_names) {
        names += (names.empty() ? "" : " ") + std::string(relation.name);
    }
    for (const opkit::RelationName& relation : opkit::relation_names) {
        symbols += (symbols.empty() ? "" : " ") + std::string(relation.symbol);
    }
    return names + " (or " + symbols + ")";
}

std::vector<std::string> aliases_of(const opkit::Field& field) {
    std::vector<std::string> out;
    std::string_view list = field.aliases != nullptr ? field.aliases : "";
    while (!list.empty()) {
        const size_t blank = list.find(' ');
        out.emplace_back(list.substr(0, blank));
        list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
    }
    return out;
}

bool has_alias(const opkit::Field& field, std::string_view name) {
    const std::vector<std::string> aliases = aliases_of(field);
    return std::find(aliases.begin(), aliases.end(), name) != aliases.end();
}

bool is_second_letter(const opkit::Layout& layout, const opkit::Field& field) {
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field* pair = layout.fields[i].pair;
        if (pair != nullptr && pair->first == field.first) {
            return true;
        }
    }
    return false;
}

} // namespace opkit_cli
