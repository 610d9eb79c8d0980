// The notices that tell the operator about a bad call record or a refused variable write.
// Both draw on screen rows 0 and 1 and wait for a key before they return.
#pragma once

namespace opkit {

// What the notices write on row 0: the bad-record text, with the code between its parentheses,
// followed by the record's first characters; the append text followed by the record's first
// characters.
constexpr char bad_param_text[] = "Bad CCFR(  ):";
constexpr int bad_param_code_column = 9;
constexpr int bad_param_code_width = 2;
constexpr int bad_param_excerpt = 18;
constexpr char append_text[] = "CFR append too long:";
constexpr int append_excerpt = 12;

// "Bad CCFR(xx):" with the two-character code and the first 18 characters of the record.
void cfr_bad_param(const char* record, const char* code);

// "CFR append too long:" with the first 12 characters of the record.
void cfr_append_too_long(const char* record);

} // namespace opkit
