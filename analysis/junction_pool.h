// Worker threads that compute one row per junction, and the order in which the rows come out.
// Junctions are handed out one at a time in rising position order as a worker becomes free,
// since their costs differ a hundredfold (one fails at zero flow, another reaches the maximal
// flow). Whatever order they finish in, the consumer takes them in position order, so that a
// results file is the one a single thread would write.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "files/record_layout.h"

namespace hydrosk::analysis {

// A worker's own state (its toolkit project) and the computation of a junction's row. Every
// worker lives on one thread; positions reach it in rising order.
class JunctionWorker {
public:
    virtual ~JunctionWorker() = default;
    virtual files::Record Row(int position) = 0;
};

// Makes a worker on the thread that will use it. `stop` is the pool's stop request, which the
// worker's long computations poll (see ThrowIfStopped).
using WorkerFactory = std::function<std::unique_ptr<JunctionWorker>(const std::atomic<bool>* stop)>;

// Thrown inside a worker that noticed the pool's stop request; the junction is abandoned.
class JunctionAbandoned : public std::exception {
public:
    const char* what() const noexcept override { return "junction abandoned"; }
};

// Throws JunctionAbandoned once `stop` is set: the check that long computations make between
// trials and time steps.
inline void ThrowIfStopped(const std::atomic<bool>* stop) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) throw JunctionAbandoned();
}

// What became of one junction: its row, or the exception that ends the run at it.
struct JunctionOutcome {
    files::Record row;
    std::exception_ptr failure;
};

// Outcomes put by any thread in any order, taken by one consumer in position order.
class OrderedOutcomes {
public:
    explicit OrderedOutcomes(int first_position) : next_(first_position) {}

    void Put(int position, JunctionOutcome outcome);

    // The next position's outcome, waiting at most `timeout` for it; nullopt when it is not
    // there yet.
    std::optional<JunctionOutcome> TakeNext(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable ready_changed_;
    std::map<int, JunctionOutcome> ready_;  // finished ahead of their turn
    int next_;
};

// Positions 1 to `count` on `threads` worker threads (at least one, never more than `count`).
// After a junction fails, no later position is handed out; the ones already out finish (their
// outcomes are moot unless the consumer stops first). Destroying the pool stops the workers
// and waits for them.
class JunctionPool {
public:
    JunctionPool(int count, int threads, WorkerFactory factory);
    ~JunctionPool();
    JunctionPool(const JunctionPool&) = delete;
    JunctionPool& operator=(const JunctionPool&) = delete;

    int count() const { return count_; }

    // See OrderedOutcomes::TakeNext.
    std::optional<JunctionOutcome> TakeNext(std::chrono::milliseconds timeout) {
        return outcomes_.TakeNext(timeout);
    }

    // Workers take no further junction and abandon the current one at their next check.
    void Stop() { stop_.store(true); }

private:
    void Work();

    const int count_;
    WorkerFactory factory_;
    std::atomic<int> next_position_{1};
    std::atomic<int> last_position_;  // lowered to a failed junction's position
    std::atomic<bool> stop_{false};
    OrderedOutcomes outcomes_{1};
    std::vector<std::jthread> threads_;
};

// The number of worker threads that `requested` asks for: itself when positive, otherwise
// every hardware thread (at least one).
int WorkerThreadCount(int requested);

}  // namespace hydrosk::analysis
