// The input line's edits and history.
#include "input_line.h"

#include <algorithm>

namespace opkit_cli {

std::optional<std::string> InputLine::edit(Edit edit) {
    switch (edit) {
    case Edit::enter: {
        std::string line = std::move(text_);
        text_.clear();
        history_at_ = -1;
        return line;
    }
    case Edit::erase_last:
        if (!text_.empty()) {
            text_.pop_back();
        }
        break;
    case Edit::clear: text_.clear(); break;
    case Edit::older:
        if (!history_.empty()) {
            history_at_ = history_at_ < 0 ? static_cast<int>(history_.size()) - 1
                                          : std::max(0, history_at_ - 1);
            text_ = history_[static_cast<size_t>(history_at_)];
        }
        break;
    case Edit::newer:
        if (history_at_ >= 0) {
            ++history_at_;
            if (history_at_ >= static_cast<int>(history_.size())) {
                history_at_ = -1;
                text_.clear();
            } else {
                text_ = history_[static_cast<size_t>(history_at_)];
            }
        }
        break;
    }
    return std::nullopt;
}

void InputLine::type(char c) {
    if (c >= 32 && c < 127) {
        text_ += c;
    }
}

void InputLine::remember(const std::string& line) {
    if (history_.empty() || history_.back() != line) {
        history_.push_back(line);
        if (history_.size() > kept) {
            history_.pop_front();
        }
    }
}

} // namespace opkit_cli
