// Screen files: writing the picture, and comparing it row by row.
#include "screen_file.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "files.h"
#include "output.h"
#include "render.h"

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
        // Both rows escaped as everything from input is: a file's bytes never reach the
        // terminal as they are. The caret counts in the escaped text.
        const std::string shown_w = printable(w);
        const std::string shown_f = printable(f);
        const size_t at = printable(w.substr(0, first_difference(w, f))).size();
        out += head + std::string("expected |") + shown_w + "|\n" + indent + "found    |" +
               shown_f + "|\n" + indent + std::string(10 + at, ' ') + "^\n";
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

// Reads the file, at most max_screen_file_bytes: empty, or why it cannot be compared.
std::string read_picture(const std::string& path, std::string& text, bool& exists) {
    std::ifstream in;
    const std::string unreadable = open_stream(path, in);
    exists = unreadable.empty();
    if (!exists) {
        return unreadable;
    }
    text.resize(max_screen_file_bytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) {
        return "a read failed";
    }
    if (text.size() > max_screen_file_bytes) {
        return "it is larger than " + std::to_string(max_screen_file_bytes) +
               " bytes, the most a screen file may hold";
    }
    if (!is_screen_picture(text)) {
        return "it is not a screen file (it holds control bytes, rows longer than any screen's, "
               "or attribute rows that are not digits)";
    }
    return {};
}

} // namespace

bool is_screen_picture(std::string_view text) {
    constexpr size_t widest = 250; // the most columns and rows a screen may have
    constexpr size_t tallest = 200;
    bool in_attributes = false;
    size_t rows = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        start = end + 1;
        if (line.size() > widest || ++rows > 2 * tallest + 1) {
            return false;
        }
        if (line.find_first_not_of(' ') != std::string_view::npos &&
            rtrim(std::string(line), ' ') == attributes_line) {
            in_attributes = true;
            continue;
        }
        for (const char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u >= 0x7f || (in_attributes && (c < '0' || c > '9'))) {
                return false;
            }
        }
    }
    return true;
}

const OutputKind screen_output{"screen file", max_screen_file_bytes + 1,
                               [](const std::string& head) { return is_screen_picture(head); }};

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
                                               bool attributes, bool update, std::string& note,
                                               const std::vector<std::string>& inputs) {
    const std::string found = screen_picture(host, attributes);
    std::string text;
    bool exists = false;
    const std::string unreadable = read_picture(path, text, exists);
    const bool readable = unreadable.empty();
    std::vector<std::string> want_rows, want_attributes, found_rows, found_attributes;
    if (readable) {
        split(lines_of(text), want_rows, want_attributes);
    }
    split(lines_of(found), found_rows, found_attributes);
    const std::string diff =
        diff_rows(want_rows, found_rows, "screen", ' ') +
        (attributes ? diff_rows(want_attributes, found_attributes, "attribute", '0')
                    : std::string());
    if (readable && diff.empty()) {
        return std::nullopt;
    }
    const std::string shown_path = printable(path);
    if (update) {
        std::string problem = refuse_output(path, screen_output, inputs);
        if (problem.empty()) {
            problem = write_file(path, found);
        }
        if (!problem.empty()) {
            return "cannot write the screen file " + shown_path + ": " + problem;
        }
        note = (readable ? "updated the screen file " : "wrote the screen file ") + shown_path;
        return std::nullopt;
    }
    if (!readable) {
        return "cannot read the screen file " + shown_path + ": " + unreadable +
               (exists || unreadable == folder_reason ? "" : " (run --update-screens writes it)");
    }
    return "the screen differs from " + shown_path + ":\n" + rtrim(diff, '\n');
}

} // namespace opkit_cli
