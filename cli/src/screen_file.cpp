// Screen files: writing the picture, and comparing it row by row.
#include "screen_file.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "locate.h"

namespace opkit_cli {

namespace {

constexpr const char* attributes_line = "~~ attributes ~~";

std::string rtrim(std::string text, char blank) {
    while (!text.empty() && (text.back() == blank || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The first column where two rows differ, counting a missing character as a blank.
size_t first_difference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) {
        ++i;
    }
    return i;
}

// The rows of one part (characters, or attribute digits) that differ, each with a caret
// under its first difference.
std::string diff_rows(const std::vector<std::string>& wanted, const std::vector<std::string>& found,
                      const char* what, char blank) {
    std::string out;
    for (size_t r = 0; r < std::max(wanted.size(), found.size()); ++r) {
        const std::string w = r < wanted.size() ? rtrim(wanted[r], blank) : "";
        const std::string f = r < found.size() ? rtrim(found[r], blank) : "";
        if (w == f) {
            continue;
        }
        char head[48];
        std::snprintf(head, sizeof head, "      %s row %2zu: ", what, r);
        const std::string indent(std::string(head).size(), ' ');
        out += head + std::string("expected |") + w + "|\n" + indent + "found    |" + f + "|\n" +
               indent + std::string(10 + first_difference(w, f), ' ') + "^\n";
    }
    return out;
}

// Splits a picture into its character rows and its attribute rows.
void split(const std::vector<std::string>& lines, std::vector<std::string>& rows,
           std::vector<std::string>& attributes) {
    bool in_attributes = false;
    for (const std::string& line : lines) {
        if (rtrim(line, ' ') == attributes_line) {
            in_attributes = true;
        } else {
            (in_attributes ? attributes : rows).push_back(line);
        }
    }
}

} // namespace

std::string screen_picture(const hostsim::Host& host, bool attributes) {
    std::string out;
    const int rows = host.options().rows;
    for (int r = 0; r < rows; ++r) {
        out += rtrim(host.screen_row(r), ' ') + "\n";
    }
    if (attributes) {
        out += std::string(attributes_line) + "\n";
        for (int r = 0; r < rows; ++r) {
            std::string digits;
            for (int c = 0; c < host.options().columns; ++c) {
                digits += static_cast<char>('0' + host.cell(r, c).attribute);
            }
            out += rtrim(digits, '0') + "\n";
        }
    }
    return out;
}

std::optional<std::string> compare_screen_file(const hostsim::Host& host, const std::string& path,
                                               bool attributes, bool update, std::string& note) {
    const std::string found = screen_picture(host, attributes);
    std::ifstream in;
    const std::string unreadable = open_stream(path, in);
    const bool readable = unreadable.empty();
    std::stringstream text;
    if (readable) {
        text << in.rdbuf();
    }
    std::vector<std::string> want_rows, want_attributes, found_rows, found_attributes;
    split(lines_of(text.str()), want_rows, want_attributes);
    split(lines_of(found), found_rows, found_attributes);
    const std::string diff =
        diff_rows(want_rows, found_rows, "screen", ' ') +
        (attributes ? diff_rows(want_attributes, found_attributes, "attribute", '0')
                    : std::string());
    if (readable && diff.empty()) {
        return std::nullopt;
    }
    if (update) {
        std::ofstream out;
        std::string problem = open_stream(path, out);
        if (problem.empty() && !(out << found).flush()) {
            problem = "a write failed";
        }
        if (!problem.empty()) {
            return "cannot write the screen file " + path + ": " + problem;
        }
        note = (readable ? "updated the screen file " : "wrote the screen file ") + path;
        return std::nullopt;
    }
    if (!readable) {
        return "cannot read the screen file " + path + ": " + unreadable +
               (unreadable == folder_reason ? "" : " (run --update-screens writes it)");
    }
    return "the screen differs from " + path + ":\n" + rtrim(diff, '\n');
}

} // namespace opkit_cli
