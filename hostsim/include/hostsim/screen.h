// The terminal's character screen and its cursor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/api.h"

namespace hostsim {

struct Cell {
    char character = ' ';
    uint8_t attribute = 0;
    bool operator==(const Cell&) const = default;
};

// A character screen. Writes and reads outside it are clipped; cells read from outside are
// zero bytes. The cursor is only remembered: nothing is drawn at it.
class HOSTSIM_API Screen {
  public:
    Screen(int rows, int columns);

    int rows() const { return rows_; }
    int columns() const { return columns_; }

    // Writes characters; `attribute` empty keeps each cell's attribute.
    void write_text(int row, int column, std::string_view text, std::optional<uint8_t> attribute);
    // Writes `count` cells of 2 bytes each (character, attribute).
    void write_cells(int row, int column, const char* cells, int count);
    // Reads `count` cells into `cells` (2 bytes each).
    void read_cells(int row, int column, char* cells, int count) const;

    Cell cell(int row, int column) const;
    // The characters of a row, a NUL shown as a blank.
    std::string row_text(int row) const;
    std::vector<std::string> rows_text() const;
    void clear();

    void set_cursor(int row, int column) {
        cursor_row_ = row;
        cursor_column_ = column;
    }
    void set_cursor_type(uint16_t type) { cursor_type_ = type; }
    int cursor_row() const { return cursor_row_; }
    int cursor_column() const { return cursor_column_; }
    uint16_t cursor_type() const { return cursor_type_; }

  private:
    bool inside(int row, int column) const;
    int rows_;
    int columns_;
    std::vector<Cell> cells_;
    int cursor_row_ = 0;
    int cursor_column_ = 0;
    uint16_t cursor_type_ = 0;
};

} // namespace hostsim
