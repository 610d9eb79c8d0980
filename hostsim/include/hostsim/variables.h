// The terminal's numbered user variables, with the range of numbers that exist and the ones
// that cannot be read.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "hostsim/api.h"

namespace hostsim {

class HOSTSIM_API UserVariables {
  public:
    UserVariables(int first, int last) : first_(first), last_(last) {}

    bool exists(int number) const { return number >= first_ && number <= last_; }
    // The text of a variable that exists ("" when never written), else empty.
    std::optional<std::string> value(int number) const;
    // Sets a variable as the host does on its own, the text cut to the longest a variable holds.
    void assign(int number, std::string_view text);
    void set_unreadable(int number, bool unreadable);
    const std::map<int, std::string>& all() const { return values_; }

    // The plug-in's read: HOSTLIB_OK with the text, HOSTLIB_BAD_NUMBER or HOSTLIB_UNREADABLE.
    int read(int number, std::string& text) const;
    // The plug-in's write: HOSTLIB_OK, HOSTLIB_BAD_NUMBER, or HOSTLIB_WRITE_TOO_LONG (nothing
    // changed) when the text is longer than a variable holds.
    int write(int number, std::string_view text);

  private:
    int first_;
    int last_;
    std::map<int, std::string> values_;
    std::set<int> unreadable_;
};

} // namespace hostsim
