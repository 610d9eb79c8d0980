// Drawing the full-screen view with curses.
#include "drawing.h"

#if defined(OPKIT_HAVE_CURSES)

#include <curses.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include "render.h"

namespace opkit_cli {

namespace {

constexpr int frame_left = 4; // row numbers stand left of the frame

void draw_screen(const hostsim::Host& host) {
    const int rows = host.options().rows;
    const int columns = host.options().columns;
    const Ruler ruler = column_ruler(static_cast<size_t>(columns));
    mvaddstr(0, frame_left + 1, ruler.tens.c_str());
    mvaddstr(1, frame_left, ("+" + ruler.units + "+").c_str());
    const int cursor_row = host.cursor_row();
    const int cursor_column = host.cursor_column();
    for (int r = 0; r < rows; ++r) {
        char number[16];
        std::snprintf(number, sizeof number, "%3d ", r);
        mvaddstr(2 + r, 0, number);
        addch('|');
        for (int c = 0; c < columns; ++c) {
            const hostsim::Cell cell = host.cell(r, c);
            const auto u = static_cast<unsigned char>(cell.character);
            chtype ch = (u < 0x20 || u >= 0x7f) ? ' ' : u;
            if (cell.attribute != 0) {
                ch |= A_REVERSE;
            }
            if (r == cursor_row && c == cursor_column) {
                ch |= A_UNDERLINE;
            }
            addch(ch);
        }
        addch('|');
    }
    mvaddstr(2 + rows, frame_left,
             ("+" + std::string(static_cast<size_t>(columns), '-') + "+").c_str());
}

void draw_panel(const hostsim::Host& host, const ViewText& view, int left) {
    int y = 0;
    const auto line = [&](const std::string& text, attr_t attribute = A_NORMAL) {
        if (y >= LINES - 2) {
            return;
        }
        attron(attribute);
        mvaddnstr(y++, left, text.c_str(), std::max(0, COLS - left - 1));
        attroff(attribute);
    };
    line("opkit-host shell", A_BOLD);
    line("clock  " + hostsim::format_date_time(host.now()) + " (real)");
    line("state  " + view.state, view.busy ? A_BOLD : A_NORMAL);
    line("last   " + (view.last_call.empty() ? std::string("-") : view.last_call));
    line("result " + view.last_result);
    line("cursor " + std::to_string(host.cursor_row()) + "," +
         std::to_string(host.cursor_column()) + "  keys queued " +
         std::to_string(host.keys_waiting()));
    line(std::string("transaction messages ") + (host.transaction_messages() ? "on" : "off"));
    line("");
    line("recent", A_BOLD);
    for (const std::string& e : *view.events) {
        line("  " + e);
    }
    line("");
    line("user variables", A_BOLD);
    int shown = 0;
    for (const auto& [number, text] : host.variables()) {
        if (text.empty()) {
            continue;
        }
        char label[16];
        std::snprintf(label, sizeof label, "%3d = ", number);
        line(label + quoted_text(text));
        ++shown;
    }
    if (shown == 0) {
        line("  (all empty)");
    }
    line("");
    line("Enter runs the line  F10 quits", A_DIM);
    line("Ctrl-A abort key  Ctrl-T keypad/line", A_DIM);
}

// The terminal's size that the frame needs: the ruler, the rows and the border, the status
// and input lines; the row numbers, the frame and its borders.
bool fits(const hostsim::HostOptions& o) {
    return LINES >= o.rows + 5 && COLS >= frame_left + o.columns + 2;
}

} // namespace

void draw_view(const hostsim::Host& host, const ViewText& view) {
    erase();
    if (!fits(host.options())) {
        // Said instead of a frame cut into pieces; the view goes on and redraws when resized.
        const hostsim::HostOptions& o = host.options();
        const std::string text =
            "The terminal is " + std::to_string(COLS) + " x " + std::to_string(LINES) +
            "; the view needs at least " + std::to_string(frame_left + o.columns + 2) + " x " +
            std::to_string(o.rows + 5) +
            ". Enlarge it, or give --rows and --columns; F10 or Ctrl-Q leaves.";
        for (size_t at = 0, y = 0; at < text.size() && static_cast<int>(y) < LINES; ++y) {
            const size_t width = static_cast<size_t>(std::max(1, COLS - 1));
            mvaddnstr(static_cast<int>(y), 0, text.c_str() + at, static_cast<int>(width));
            at += width;
        }
        refresh();
        return;
    }
    draw_screen(host);
    const int columns = host.options().columns;
    draw_panel(host, view, frame_left + columns + 4);
    const bool keypad_mode = view.keypad_mode;
    mvaddnstr(LINES - 2, 0, view.status.c_str(), COLS - 1);
    const std::string prompt =
        keypad_mode ? "[keys go to the terminal; Ctrl-T: input line] " : "> ";
    mvaddnstr(LINES - 1, 0, (prompt + (keypad_mode ? std::string() : view.input)).c_str(),
              COLS - 1);
    if (keypad_mode) {
        move(2 + host.cursor_row(), frame_left + 1 + host.cursor_column());
    } else {
        move(LINES - 1, static_cast<int>(std::min<size_t>(prompt.size() + view.input.size(),
                                                          static_cast<size_t>(COLS - 1))));
    }
    refresh();
}

void show_overlay(const std::string& title, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    size_t top = 0;
    while (true) {
        erase();
        attron(A_BOLD);
        mvaddnstr(0, 0, (title + "   (arrows/PgUp/PgDn scroll, any other key closes)").c_str(),
                  COLS - 1);
        attroff(A_BOLD);
        for (int y = 1; y < LINES && top + static_cast<size_t>(y - 1) < lines.size(); ++y) {
            mvaddnstr(y, 0, lines[top + static_cast<size_t>(y - 1)].c_str(), COLS - 1);
        }
        refresh();
        const int ch = getch();
        const size_t page = static_cast<size_t>(std::max(1, LINES - 2));
        if (ch == ERR) {
            continue;
        }
        if (ch == KEY_DOWN && top + 1 < lines.size()) {
            ++top;
        } else if (ch == KEY_UP && top > 0) {
            --top;
        } else if (ch == KEY_NPAGE) {
            top = std::min(top + page, lines.empty() ? 0 : lines.size() - 1);
        } else if (ch == KEY_PPAGE) {
            top = top > page ? top - page : 0;
        } else if (ch != KEY_RESIZE) {
            break;
        }
    }
}

} // namespace opkit_cli

#endif
