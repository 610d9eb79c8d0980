// Warnings about a call record that the function accepts but that is probably not what its
// author meant: characters in columns that no field of the function reads (a field shifted by
// a column), length digits that disagree with the record's real length, and a field the call
// reads that lies past the record's end although the length checks pass. They come from the
// same function rows that the handlers read their records with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "explain.h"

namespace opkit_cli {

struct RecordWarning {
    enum class Kind { unread_column, length_mismatch, past_end };
    Kind kind = Kind::unread_column;
    int column = 0; // the record column the warning is about (0-based)
    std::string message;
};

// The short code a warning is listed under ("unread-column", "length-mismatch", "trap").
const char* warning_code(RecordWarning::Kind kind);

// The warnings for an analysed record, in column order of their kind.
std::vector<RecordWarning> record_warnings(const Analysis& analysis);
std::vector<RecordWarning> record_warnings(std::string_view record);

// "warning: ..." lines, each ended by a line feed, prefixed with `where` when given.
std::string render_warnings(const std::vector<RecordWarning>& warnings, const std::string& where);

} // namespace opkit_cli
