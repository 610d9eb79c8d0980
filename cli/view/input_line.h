// The view's input line: the text being typed, and the history of the lines entered, walked
// with the arrows. It knows edits, not keys: the view maps its keys to them.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace opkit_cli {

class InputLine {
  public:
    enum class Edit { enter, erase_last, clear, older, newer };

    // Applies an edit; `enter` answers the line entered (and empties the input).
    std::optional<std::string> edit(Edit edit);
    // Adds a printable character; others are ignored.
    void type(char c);
    // Keeps a line entered, unless it repeats the one before; the oldest go past `kept`.
    void remember(const std::string& line);

    const std::string& text() const { return text_; }

    static constexpr size_t kept = 200;

  private:
    std::string text_;
    std::deque<std::string> history_;
    int history_at_ = -1; // the history line shown, or -1 for the line being typed
};

} // namespace opkit_cli
