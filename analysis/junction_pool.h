// Worker threads that compute one row per junction, and the order in which the rows come out.
// Junctions are handed out in rising position order as a worker becomes free, since their
// costs differ a hundredfold (one fails at zero flow, another reaches the maximal flow).
// Whatever order they finish in, the consumer takes them in position order, so that a results
// file is the one a single thread would write. Other processes (a cluster) may share the same
// positions and outcomes (see SharedWork).
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
#include <span>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/run_messages.h"
#include "files/record_layout.h"

namespace hydrosk::analysis {

// Trials of one junction whose hydraulic solve failed or did not converge (IsUnsolved); the
// run tells the user about them once the search is over.
struct UnsolvedTrials {
    int count = 0;
    int first_code = 0;  // the toolkit's code of the first of them
};

// A worker's own state (its toolkit project) and the computation of a junction's row. Every
// worker lives on one thread; positions reach it in rising order.
class JunctionWorker {
public:
    virtual ~JunctionWorker() = default;
    virtual files::Record Row(int position) = 0;
    // The unsolved trials of the junction of the last Row.
    virtual UnsolvedTrials LastUnsolved() const { return {}; }
    // How many positions the worker takes at a time: its rows' trials are then solved together
    // by SolveAhead before Row is asked for each of them in turn.
    virtual int PositionsAtOnce() const { return 1; }
    // Solves ahead what the rows of `positions` (rising) need; a row it could not prepare is
    // computed by Row alone, so a failure here changes no row.
    virtual void SolveAhead(std::span<const int> positions) { (void)positions; }
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
    UnsolvedTrials unsolved;
};

// Where a pool's workers take their next position. Take gives nullopt when none is left.
// After a junction fails, no later position matters: EndAt stops handing them out (every
// earlier one is already out, since positions go out in rising order).
class PositionSource {
public:
    virtual ~PositionSource() = default;
    virtual std::optional<int> Take() = 0;
    virtual void EndAt(int position) = 0;
};

// Where a pool's workers put their outcomes.
class OutcomeSink {
public:
    virtual ~OutcomeSink() = default;
    virtual void Put(int position, JunctionOutcome outcome) = 0;
};

// Positions 1 to `count` in rising order: one at a time to this process's workers, in blocks
// to other processes.
class RisingPositions final : public PositionSource {
public:
    explicit RisingPositions(int count) : last_(count) {}

    std::optional<int> Take() override;
    void EndAt(int position) override;

    // Up to `size` consecutive positions [first, last]; first > last when none is left.
    std::pair<int, int> TakeBlock(int size);

private:
    std::atomic<int> next_{1};
    std::atomic<int> last_;  // lowered to a failed junction's position
};

// Outcomes put by any thread in any order, taken by one consumer in position order.
class OrderedOutcomes final : public OutcomeSink {
public:
    explicit OrderedOutcomes(int first_position) : next_(first_position) {}

    void Put(int position, JunctionOutcome outcome) override;

    // The next position's outcome, waiting at most `timeout` for it; nullopt when it is not
    // there yet.
    std::optional<JunctionOutcome> TakeNext(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable ready_changed_;
    std::map<int, JunctionOutcome> ready_;  // finished ahead of their turn
    int next_;
};

// `threads` worker threads (at least one) that take positions from `positions` until none is
// left and put their outcomes into `outcomes`. A junction that throws is put as a failure and
// ends the hand-out at its position. Destroying the pool stops the workers and waits for them.
class JunctionPool {
public:
    JunctionPool(PositionSource& positions, OutcomeSink& outcomes, int threads,
                 WorkerFactory factory);
    ~JunctionPool();
    JunctionPool(const JunctionPool&) = delete;
    JunctionPool& operator=(const JunctionPool&) = delete;

    // Workers take no further junction and abandon the current one at their next check.
    void Stop() { stop_.store(true); }

    // Waits until every worker has ended (no position left, or stopped).
    void Join();

    // What the workers took of the heap (unknown where the C library does not say).
    messages::WorkerMemory Memory() const { return {each_.load(), taken_at_failure_.load()}; }

private:
    void Work();
    // Counts a worker set up, or notes the heap taken when one ran out of memory.
    void NoteSetUp(const std::exception_ptr& failure);

    PositionSource& positions_;
    OutcomeSink& outcomes_;
    WorkerFactory factory_;
    std::atomic<bool> stop_{false};
    int workers_ = 0;
    std::size_t heap_before_ = 0;
    std::atomic<int> set_up_{0};
    std::atomic<std::size_t> each_{0};
    std::atomic<std::size_t> taken_at_failure_{0};
    std::vector<std::jthread> threads_;
};

// Other processes that share a search's junctions: while attached, they take positions from
// the search's source in blocks and put their outcomes into its sink, from a thread of their
// own. Detach returns once they no longer touch either.
class SharedWork {
public:
    virtual ~SharedWork() = default;
    virtual void Attach(RisingPositions& positions, OutcomeSink& outcomes) = 0;
    virtual void Detach() = 0;
};

// How a search spreads its junctions: worker threads of this process (0 for every hardware
// thread) and, on a cluster, other processes.
struct Parallelism {
    int threads = 0;
    SharedWork* shared = nullptr;
    // Steady trials of one worker solved side by side in the lanes of vector registers: 0 for
    // as many as the processor has (8 with AVX-512, 4 with AVX2), 1 for one at a time.
    int lanes = 0;
};

// The number of worker threads that `requested` asks for: itself when positive, otherwise
// every hardware thread (at least one).
int WorkerThreadCount(int requested);
// The worker threads of a pool over `rows` rows: as above, but no more than the rows.
int WorkerThreadCount(int requested, int rows);

}  // namespace hydrosk::analysis
