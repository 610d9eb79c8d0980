// Decoding call records without running them: the length digits, the function the name
// selects, every field with its columns, characters and converted value, and the checks the
// function's handler makes, in its order, up to the notice the record leads to. The columns
// come from the layout table that the handlers themselves read their records with.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/facts.h"

namespace opkit_cli {

struct FieldReport {
    std::string name;
    int first = 0;
    int width = 0;
    char mark = '?';     // the letter that marks the field's columns under the record
    std::string raw;     // the characters present (fewer than width at the record's end)
    bool read = true;    // whether the handler reads the field for this record
    std::string value;   // the converted value
    std::string verdict; // what the value means here, or what is wrong with it
    std::string meaning; // the field's meaning from the layout table
    bool fault = false;  // the field that the notice is about
};

struct Check {
    std::string code; // the notice code when it fails; empty for a host call that cannot fail
    std::string text;
    enum class State { ok, fails, host } state = State::ok;
};

// A user-variable read that the handler makes before it reaches its verdict.
struct HostRead {
    int variable = 0; // the number as the host receives it
    std::string code; // the notice when the host cannot read it (answers 1 or 3)
};

struct Analysis {
    std::string record;
    int chars = 0; // characters before the terminating NUL

    std::string length_raw;
    int32_t length = 0;
    std::vector<std::string> length_notes;

    std::string name_raw;
    const opkit::Layout* layout = nullptr;
    std::vector<std::string> name_notes;

    std::vector<std::string> needs; // the length rules of the function
    std::vector<FieldReport> fields;
    std::vector<Check> checks; // in the handler's order, up to the first that fails

    std::string notice;              // the code the record itself leads to ("": none)
    bool notice_before_host = false; // raised before any host service is asked
    std::vector<HostRead> reads;     // reads made before the record's verdict
    int divide_by_variable = 0;      // INTMATH "/": C6 when this variable converts to 0
    std::string action;              // what the call does when no notice is raised
    double seconds = 0;              // a waiting call: how long it waits at most
    int waits_for = 0;               // a call that waits for a user variable: its number
};

Analysis analyse(std::string_view record);

// What a host answers to a read of a user variable: the result code and the text.
struct ReadAnswer {
    int result = 0;
    std::string text;
};
using HostReader = std::function<ReadAnswer(int variable)>;

// The notice the call raises against a host that answers reads through `reader` ("": none).
std::string predict_notice(const Analysis& analysis, const HostReader& reader);

// The explanation as text, ready to print.
std::string render_explanation(const Analysis& analysis);

// The notice text that row 0 would show for `code` and this record.
std::string notice_row(std::string_view record, std::string_view code);

// The function whose name is closest to `name` (a typo or two away), or empty.
std::string closest_function(std::string_view name);

// The word of `words` closest to `word`, case ignored: one typo away for a short word, two for
// a longer one; empty when none is that close.
std::string closest_word(std::string_view word, const std::vector<std::string>& words);

} // namespace opkit_cli
