// Text as the tool shows it: every byte of input escaped on its way to a terminal or a
// report, quoted texts, column rulers, the JSON and XML escapes, and the escapes that scripts
// and tables write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace opkit_cli {

// The two lines of a column ruler `width` columns wide: the tens digit over every tenth column,
// and the units digit over every column.
struct Ruler {
    std::string tens;
    std::string units;
};
Ruler column_ruler(size_t width);

// A byte as the tool prints it: itself when printable ASCII, else \xHH (\u00HH for JSON).
std::string shown_byte(char c, bool json = false);
// The one escaping of text that came from input (a script, a file, a record, the command line)
// on its way to a terminal or a report: every byte as shown_byte shows it, line feeds kept when
// `keep_newlines` (a message of several lines).
std::string printable(std::string_view text, bool keep_newlines = false);
// The text without the blanks, tabs and carriage returns at its ends.
std::string trimmed(std::string_view text);
// A text in double quotes as a script writes it (or as a JSON string): quotes and backslashes
// escaped, other bytes as shown_byte shows them.
std::string quoted_text(std::string_view text, bool json = false);

// A text as a JSON string, quotes included; control bytes and bytes from 0x80 on as \u00XX.
std::string json_string(const std::string& text);

// A text for XML character data or an attribute value. Control bytes, which XML 1.0 cannot
// hold at all, are written as the text \xHH.
std::string xml_text(const std::string& text);

// The escape at line[i] (a backslash there) as double-quoted texts read it: \" \\ \' \n \t and
// \xHH. Sets `out` to the character it stands for and answers its length, or 0 when there is
// no valid escape.
int read_escape(std::string_view line, size_t i, char& out);

} // namespace opkit_cli
