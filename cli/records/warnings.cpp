// Warnings about records that pass their checks but hold what no field reads.
#include "warnings.h"

#include <vector>

#include "entry/facts.h"
#include "text.h"

namespace opkit_cli {

namespace {

// The length digits and the function name.
constexpr int header_columns = opkit::header_name.first + opkit::header_name.width;

// Runs of non-blank characters in columns that no field of the function covers; one warning
// a run, so that a shifted field is reported once.
void unread_columns(const Analysis& a, std::vector<RecordWarning>& out) {
    const opkit::Layout& layout = *a.layout;
    std::vector<bool> covered(a.record.size(), false);
    for (size_t i = 0; i < layout.field_count; ++i) {
        const opkit::Field& f = layout.fields[i];
        for (int c = f.first; c < f.first + f.width && c < static_cast<int>(covered.size()); ++c) {
            covered[static_cast<size_t>(c)] = true;
        }
    }
    for (int c = header_columns; c < a.chars;) {
        const char ch = a.record[static_cast<size_t>(c)];
        if (covered[static_cast<size_t>(c)] || ch == ' ') {
            ++c;
            continue;
        }
        const int first = c;
        std::string text;
        while (c < a.chars && !covered[static_cast<size_t>(c)] &&
               a.record[static_cast<size_t>(c)] != ' ') {
            text += shown_byte(a.record[static_cast<size_t>(c)]);
            ++c;
        }
        const std::string columns =
            c - first == 1
                ? "record column " + std::to_string(first) + " holds"
                : "record columns " + std::to_string(first) + "-" + std::to_string(c - 1) + " hold";
        out.push_back({RecordWarning::Kind::unread_column, first,
                       columns + " \"" + text + "\", which no field of " + layout.name +
                           " reads (a field shifted by a column?)"});
    }
}

void length_mismatch(const Analysis& a, std::vector<RecordWarning>& out) {
    const int real = a.chars < 2 ? 0 : a.chars - 2;
    if (a.chars < 2 || a.length == real) {
        return;
    }
    out.push_back({RecordWarning::Kind::length_mismatch, 0,
                   "the length digits say " + std::to_string(a.length) + " but the record has " +
                       std::to_string(real) + (real == 1 ? " character" : " characters") +
                       " from column 2 on"});
}

// A field this call reads that stands wholly past the record's end, in a record whose length
// digits pass every length check of the call: the rows accept a record too short to hold it.
void past_end(const Analysis& a, std::vector<RecordWarning>& out) {
    const opkit::Layout& layout = *a.layout;
    for (size_t i = 0; i < layout.check_count; ++i) {
        const opkit::Check& check = layout.checks[i];
        const bool length_check =
            check.test == opkit::Test::length_at_least || check.test == opkit::Test::length_at_most;
        if (length_check && opkit::check_applies(a.record.c_str(), check) &&
            !opkit::check_passes(a.record.c_str(), a.length, check)) {
            return; // the length notice says it already
        }
    }
    for (const FieldReport& f : a.fields) {
        if (f.read && f.first >= a.chars && a.length + 2 <= f.first) {
            out.push_back({RecordWarning::Kind::past_end, f.first,
                           "the length " + std::to_string(a.length) +
                               " passes the length checks of " + layout.name + ", but the " +
                               f.name + " field in record column " + std::to_string(f.first) +
                               " needs a length of at least " +
                               std::to_string(f.first + f.width - 2)});
        }
    }
}

} // namespace

const char* warning_code(RecordWarning::Kind kind) {
    switch (kind) {
    case RecordWarning::Kind::unread_column: return "unread-column";
    case RecordWarning::Kind::length_mismatch: return "length-mismatch";
    case RecordWarning::Kind::past_end: return "trap";
    }
    return "";
}

std::vector<RecordWarning> record_warnings(const Analysis& a) {
    std::vector<RecordWarning> out;
    length_mismatch(a, out);
    if (a.layout != nullptr) {
        unread_columns(a, out);
        past_end(a, out);
    }
    return out;
}

std::vector<RecordWarning> record_warnings(std::string_view record) {
    return record_warnings(analyse(record));
}

std::string render_warnings(const std::vector<RecordWarning>& warnings, const std::string& where) {
    std::string out;
    for (const RecordWarning& w : warnings) {
        out += (where.empty() ? "" : where + ": ") + "warning: " + w.message + "\n";
    }
    return out;
}

} // namespace opkit_cli
