#include "analysis/stop_poll.h"

#include <chrono>
#include <system_error>

namespace hydrosk::analysis {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

}  // namespace

StopPoll::StopPoll(RunObserver& observer) {
    try {
        thread_ = std::thread([this, &observer] { Poll(observer); });
    } catch (const std::system_error&) {
        // Without a thread of its own the run is still stopped between its steps.
    }
}

StopPoll::~StopPoll() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    done_changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StopPoll::Poll(RunObserver& observer) {
    std::unique_lock lock(mutex_);
    while (!done_changed_.wait_for(lock, kPollInterval, [this] { return done_; })) {
        if (observer.StopRequested()) {
            stopped_.store(true);
            return;
        }
    }
}

}  // namespace hydrosk::analysis
