// The state line of a running call.
#include "call_status.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace opkit_cli {

void CallStatus::start(int code, const std::string& record) {
    *this = CallStatus{};
    if (code == 3) {
        const Analysis a = analyse(record);
        if (a.layout != nullptr && a.notice.empty()) {
            function_ = a.layout->name;
            behaviour_ = a.layout->behaviour;
            variable_ = a.waits_for;
            seconds_ = a.seconds;
        }
    } else if (code == 5) {
        self_test_ = true;
    }
}

std::string CallStatus::waiting_text(const hostsim::Host& host, double seconds) const {
    const std::string row0 = host.screen_row(0);
    const std::string_view bad_param(opkit::bad_param_text, opkit::bad_param_code_column);
    if (row0.rfind(bad_param, 0) == 0 || row0.rfind(opkit::append_text, 0) == 0) {
        return "notice waiting for a key: press any key";
    }
    const double left = std::max(0.0, seconds_ - seconds);
    char text[96];
    if (behaviour_ == opkit::Behaviour::delay) {
        std::snprintf(text, sizeof text, "%s waiting, %.1f s left (Ctrl-A aborts)",
                      function_.c_str(), left);
        return text;
    }
    if (behaviour_ == opkit::Behaviour::wait_for_variable) {
        std::snprintf(text, sizeof text, "%s waiting for variable %d, %.0f s left",
                      function_.c_str(), variable_, left);
        return text;
    }
    if (self_test_) {
        return "self-test: press keys; Enter (13) ends it";
    }
    return "running";
}

} // namespace opkit_cli
