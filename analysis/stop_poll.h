// The run's stop request as a flag that the toolkit looks at inside its long steps: reading the
// INP file, ordering the matrix, the solves before the first trial. A thread of the poll's own
// asks the observer every few milliseconds for as long as the poll lives, so that a step which
// serves no events still ends soon after the stop was asked for.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "analysis/run_observer.h"
#include "toolkit/stop_request.h"

namespace hydrosk::analysis {

class StopPoll {
public:
    explicit StopPoll(RunObserver& observer);
    ~StopPoll();
    StopPoll(const StopPoll&) = delete;
    StopPoll& operator=(const StopPoll&) = delete;

    // Set once the observer said the run should stop; lives as long as the poll.
    toolkit::StopRequest request() const { return &stopped_; }

private:
    void Poll(RunObserver& observer);

    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace hydrosk::analysis
