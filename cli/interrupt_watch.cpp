#include "cli/interrupt_watch.h"

#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace hydrosk::cli {

InterruptWatch::InterruptWatch() {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    waiter_ = std::thread([this] { Wait(); });
}

InterruptWatch::~InterruptWatch() {
    done_.store(true);
    waiter_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::Wait() {
    // Polled in short waits, so that the destructor need not send a signal to end the thread.
    const timespec poll{0, 100'000'000};  // 0.1 s
    while (!done_.load()) {
        const int signal = sigtimedwait(&watched_, nullptr, &poll);
        if (signal <= 0) continue;  // timed out or interrupted
        int none = 0;
        if (!received_.compare_exchange_strong(none, signal))
            std::_Exit(ExitStatusForSignal(signal));
    }
}

}  // namespace hydrosk::cli
