// Building call records from named fields: the columns come from the layout table that the
// handlers read their records with, the length digits are counted, and every value is checked
// against what the function accepts, so that a composed record is one the function takes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "entry/facts.h"

namespace opkit_cli {

// The longest call record that is taken: a record's length digits count at most 99 characters.
constexpr size_t max_record_bytes = 256;
// Why a record is refused ("" when it is not): it is longer than max_record_bytes.
std::string record_too_long(std::string_view record);

// A value that cannot be placed; `index` is the field assignment at fault (-1: none in
// particular, e.g. an unknown function or a missing field).
// Its message shows the values it quotes escaped, as every input is shown.
class ComposeError : public std::runtime_error {
  public:
    ComposeError(const std::string& message, int index);
    int index() const { return index_; }

  private:
    int index_;
};

struct FieldAssignment {
    std::string name;
    std::string value;
};

struct Composed {
    std::string record;
    std::vector<std::string> notes; // fields given that this call does not read, ...
};

// The layout of a function name (any case), or null.
const opkit::Layout* find_layout(std::string_view name);

// Builds the record. Throws ComposeError.
Composed compose_record(std::string_view function, const std::vector<FieldAssignment>& fields);

// Splits "name=value" (throws ComposeError with `index` when there is no '=').
FieldAssignment parse_assignment(std::string_view text, int index);

// The fields a function takes in compose, with the values each accepts: for help texts.
std::string compose_fields_help(const opkit::Layout& layout);
std::string compose_functions_help();
// "no function is called X; did you mean Y?" or the list of the functions.
std::string unknown_function(std::string_view name);

// The values a letter or text field accepts: what goes into the record and every spelling
// that names it (the value itself first).
struct Accepted {
    std::string value;
    std::vector<std::string> spellings;
};
std::vector<Accepted> accepted_values(const opkit::Field& field);

// The values a field accepts, for help texts: "1-32", "12 24", "D|decrement I|increment".
std::string field_values_text(const opkit::Field& field);

// Whether a one-letter value is among `letters` (any case); every value is when there are none.
bool letter_in(const char* letters, std::string_view value);

// The relations a relation field takes, for help texts: "EQ NE ... (or = != ...)".
std::string relation_values_text();

// The other names a field is given by (see opkit::Field::aliases), and whether `name` is one.
std::vector<std::string> aliases_of(const opkit::Field& field);
bool has_alias(const opkit::Field& field, std::string_view name);

// Whether the field holds the second letter of one of the row's relations.
bool is_second_letter(const opkit::Layout& layout, const opkit::Field& field);

// The text in upper or lower case (ASCII letters only).
std::string upper(std::string_view text);
std::string lower(std::string_view text);

} // namespace opkit_cli
