// The terminal's user variables.
#include "hostsim/variables.h"

namespace hostsim {

std::optional<std::string> UserVariables::value(int number) const {
    if (!exists(number)) {
        return std::nullopt;
    }
    const auto it = values_.find(number);
    return it == values_.end() ? std::string() : it->second;
}

void UserVariables::assign(int number, std::string_view text) {
    values_[number] = std::string(text.substr(0, HOSTLIB_VARIABLE_MAX));
}

void UserVariables::set_unreadable(int number, bool unreadable) {
    if (unreadable) {
        unreadable_.insert(number);
    } else {
        unreadable_.erase(number);
    }
}

int UserVariables::read(int number, std::string& text) const {
    if (!exists(number)) {
        return HOSTLIB_BAD_NUMBER;
    }
    if (unreadable_.count(number) != 0) {
        return HOSTLIB_UNREADABLE;
    }
    text = *value(number);
    return HOSTLIB_OK;
}

int UserVariables::write(int number, std::string_view text) {
    if (!exists(number)) {
        return HOSTLIB_BAD_NUMBER;
    }
    if (text.size() > HOSTLIB_VARIABLE_MAX) {
        return HOSTLIB_WRITE_TOO_LONG;
    }
    values_[number] = std::string(text);
    return HOSTLIB_OK;
}

} // namespace hostsim
