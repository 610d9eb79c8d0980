// The worker thread of the full-screen view.
#include "worker.h"

namespace opkit_cli {

bool Worker::busy() const {
    return result_.valid() &&
           result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void Worker::start(Session& session, int code, std::string record) {
    started_ = Clock::now();
    result_ = std::async(std::launch::async, [&session, code, record] {
        return code == 3 ? session.plugin().call(record) : session.plugin().message(code);
    });
}

std::optional<int> Worker::take_result() {
    if (!result_.valid() || busy()) {
        return std::nullopt;
    }
    return result_.get();
}

double Worker::seconds_running() const {
    return std::chrono::duration<double>(Clock::now() - started_).count();
}

} // namespace opkit_cli
