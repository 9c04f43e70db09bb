// Ctrl+C (SIGINT) and SIGTERM during a run. Both are blocked in the thread that makes the
// watch, and so in every thread it starts afterwards (the run's workers); a thread of the
// watch's own waits for them. The run then ends through its ordinary failure path, keeping the
// rows finished before, instead of the process being killed mid-write. A second signal ends
// the process at once.
#pragma once

#include <signal.h>

#include <atomic>
#include <thread>

namespace hydrosk::cli {

class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The first signal received, or 0.
    int received() const { return received_.load(); }

private:
    void Wait();

    sigset_t watched_{};
    sigset_t previous_{};
    std::atomic<int> received_{0};
    std::atomic<bool> done_{false};
    std::thread waiter_;
};

// The exit status of a process ended by `signal`: 128 + its number (130 for SIGINT, 143 for
// SIGTERM), as shells report it.
constexpr int ExitStatusForSignal(int signal) {
    return 128 + signal;
}

}  // namespace hydrosk::cli
