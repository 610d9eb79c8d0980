// Screen frames, variable lists and folded traces.
#include "render.h"

#include <algorithm>
#include <cstdio>

namespace opkit_cli {

ScreenPicture take_picture(const hostsim::Host& host) {
    ScreenPicture p;
    p.rows = host.options().rows;
    p.columns = host.options().columns;
    p.cells.resize(static_cast<size_t>(p.rows));
    for (int r = 0; r < p.rows; ++r) {
        for (int c = 0; c < p.columns; ++c) {
            p.cells[static_cast<size_t>(r)].push_back(host.cell(r, c));
        }
    }
    p.cursor_row = host.cursor_row();
    p.cursor_column = host.cursor_column();
    p.cursor_type = host.cursor_type();
    return p;
}

namespace {

char shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 || u >= 0x7f) ? ' ' : c;
}

// "2-25" style runs of the columns in `columns`.
std::string runs(const std::vector<int>& columns) {
    std::string out;
    size_t i = 0;
    while (i < columns.size()) {
        size_t j = i;
        while (j + 1 < columns.size() && columns[j + 1] == columns[j] + 1) {
            ++j;
        }
        out += (out.empty() ? "" : ",") + std::to_string(columns[i]);
        if (j > i) {
            out += "-" + std::to_string(columns[j]);
        }
        i = j + 1;
    }
    return out;
}

} // namespace

std::string render_screen(const ScreenPicture& p, bool ansi, int first, int last) {
    const int top = first < 0 ? 0 : std::min(first, p.rows - 1);
    const int bottom = last < 0 ? p.rows - 1 : std::min(last, p.rows - 1);
    std::string out;
    const std::string margin = "    ";
    const Ruler ruler = column_ruler(static_cast<size_t>(p.columns));
    std::string tens = margin + " " + ruler.tens;
    while (!tens.empty() && tens.back() == ' ') {
        tens.pop_back();
    }
    const std::string border =
        margin + "+" + std::string(static_cast<size_t>(p.columns), '-') + "+";
    out += tens + "\n" + margin + " " + ruler.units + "\n" + border + "\n";
    for (int r = top; r <= bottom; ++r) {
        char number[16];
        std::snprintf(number, sizeof number, "%3d ", r);
        std::string line = number;
        line += '|';
        std::vector<int> marked;
        bool reverse = false;
        for (int c = 0; c < p.columns; ++c) {
            const hostsim::Cell& cell = p.cells[static_cast<size_t>(r)][static_cast<size_t>(c)];
            const bool want = cell.attribute != 0;
            if (want) {
                marked.push_back(c);
            }
            if (ansi && want != reverse) {
                line += want ? "\x1b[7m" : "\x1b[0m";
                reverse = want;
            }
            line += shown(cell.character);
        }
        if (reverse) {
            line += "\x1b[0m";
        }
        line += '|';
        if (!ansi && !marked.empty()) {
            line += " attribute 1: " + runs(marked);
        }
        out += line + "\n";
    }
    out += border + "\n";
    out += margin + " cursor at row " + std::to_string(p.cursor_row) + ", column " +
           std::to_string(p.cursor_column) + "\n";
    return out;
}

std::string render_variables(const std::map<int, std::string>& variables) {
    std::string out;
    for (const auto& [number, text] : variables) {
        if (text.empty()) {
            continue;
        }
        char label[16];
        std::snprintf(label, sizeof label, "%6d = ", number);
        out += label + quoted_text(text) + "\n";
    }
    if (out.empty()) {
        out = "       (all user variables are empty)\n";
    }
    return out;
}

std::vector<std::string> variable_changes(const std::map<int, std::string>& before,
                                          const std::map<int, std::string>& after) {
    std::vector<std::string> changes;
    for (const auto& [number, text] : after) {
        const auto it = before.find(number);
        const std::string old = it == before.end() ? std::string() : it->second;
        if (old != text) {
            changes.push_back("var " + std::to_string(number) + " = " + quoted_text(text) +
                              (old.empty() ? "" : " (was " + quoted_text(old) + ")"));
        }
    }
    return changes;
}

std::vector<std::string> render_trace(const std::vector<hostsim::TraceEntry>& trace) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < trace.size()) {
        const std::string text = trace[i].to_string();
        // Fold a repeating cycle of one or two entries (a poll and its wait).
        size_t period = 0;
        size_t repeats = 1;
        for (size_t p = 1; p <= 2 && period == 0; ++p) {
            size_t n = 1;
            while (i + (n + 1) * p <= trace.size()) {
                bool same = true;
                for (size_t k = 0; k < p && same; ++k) {
                    same = trace[i + n * p + k].to_string() == trace[i + k].to_string();
                }
                if (!same) {
                    break;
                }
                ++n;
            }
            if (n >= 3 || (p == 1 && n >= 2)) {
                period = p;
                repeats = n;
            }
        }
        if (period == 0) {
            lines.push_back(text);
            ++i;
            continue;
        }
        if (period == 1) {
            lines.push_back(text + "   (x " + std::to_string(repeats) + ")");
        } else {
            lines.push_back("{ " + text);
            lines.push_back("  " + trace[i + 1].to_string() + " }   (x " + std::to_string(repeats) +
                            ")");
        }
        i += period * repeats;
    }
    return lines;
}

} // namespace opkit_cli
