// The terminal's character screen.
#include "hostsim/screen.h"

#include <algorithm>

namespace hostsim {

Screen::Screen(int rows, int columns)
    : rows_(std::max(rows, 1)), columns_(std::max(columns, 1)),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool Screen::inside(int row, int column) const {
    return row >= 0 && row < rows_ && column >= 0 && column < columns_;
}

void Screen::write_text(int row, int column, std::string_view text,
                        std::optional<uint8_t> attribute) {
    for (size_t i = 0; i < text.size(); ++i) {
        const int c = column + static_cast<int>(i);
        if (!inside(row, c)) {
            continue;
        }
        Cell& cell = cells_[static_cast<size_t>(row * columns_ + c)];
        cell.character = text[i];
        if (attribute) {
            cell.attribute = *attribute;
        }
    }
}

void Screen::write_cells(int row, int column, const char* cells, int count) {
    for (int i = 0; i < count; ++i) {
        if (!inside(row, column + i)) {
            continue;
        }
        Cell& cell = cells_[static_cast<size_t>(row * columns_ + column + i)];
        cell.character = cells[2 * i];
        cell.attribute = static_cast<uint8_t>(cells[2 * i + 1]);
    }
}

void Screen::read_cells(int row, int column, char* cells, int count) const {
    for (int i = 0; i < count; ++i) {
        const Cell cell = this->cell(row, column + i);
        cells[2 * i] = cell.character;
        cells[2 * i + 1] = static_cast<char>(cell.attribute);
    }
}

Cell Screen::cell(int row, int column) const {
    return inside(row, column) ? cells_[static_cast<size_t>(row * columns_ + column)]
                               : Cell{'\0', 0};
}

std::string Screen::row_text(int row) const {
    std::string text;
    if (row < 0 || row >= rows_) {
        return text;
    }
    for (int c = 0; c < columns_; ++c) {
        const char ch = cells_[static_cast<size_t>(row * columns_ + c)].character;
        text += ch == '\0' ? ' ' : ch;
    }
    return text;
}

std::vector<std::string> Screen::rows_text() const {
    std::vector<std::string> rows;
    for (int r = 0; r < rows_; ++r) {
        rows.push_back(row_text(r));
    }
    return rows;
}

void Screen::clear() {
    std::fill(cells_.begin(), cells_.end(), Cell{});
}

} // namespace hostsim
