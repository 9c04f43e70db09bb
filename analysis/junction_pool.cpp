#include "analysis/junction_pool.h"

#include <malloc.h>

#include <algorithm>
#include <new>
#include <system_error>
#include <vector>

#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "toolkit/destroy_apart.h"
#include "toolkit/stop_request.h"

namespace hydrosk::analysis {

namespace {

// The bytes the C library's allocator has handed out and not yet taken back; 0 where it does
// not say (another C library, or a sanitizer's allocator in its place).
std::size_t HeapBytesInUse() {
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return 0;
#endif
}

}  // namespace

std::optional<int> RisingPositions::Take() {
    const auto [first, last] = TakeBlock(1);
    if (first > last) return std::nullopt;
    return first;
}

std::pair<int, int> RisingPositions::TakeBlock(int size) {
    const int first = next_.fetch_add(size);
    return {first, std::min(first + size - 1, last_.load())};
}

void RisingPositions::EndAt(int position) {
    int last = last_.load();
    while (position < last && !last_.compare_exchange_weak(last, position)) {
    }
}

void OrderedOutcomes::Put(int position, JunctionOutcome outcome) {
    {
        const std::lock_guard lock(mutex_);
        ready_.insert_or_assign(position, std::move(outcome));
    }
    ready_changed_.notify_all();
}

std::optional<JunctionOutcome> OrderedOutcomes::TakeNext(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_changed_.wait_for(lock, timeout, [this] { return ready_.contains(next_); })) {
        return std::nullopt;
    }
    auto node = ready_.extract(next_);
    ++next_;
    return std::move(node.mapped());
}

JunctionPool::JunctionPool(PositionSource& positions, OutcomeSink& outcomes, int threads,
                           WorkerFactory factory)
    : positions_(positions),
      outcomes_(outcomes),
      factory_(std::move(factory)),
      workers_(std::max(threads, 1)),
      heap_before_(HeapBytesInUse()) {
    threads_.reserve(static_cast<std::size_t>(workers_));
    for (int i = 0; i < workers_; ++i) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error& error) {
            Stop();
            Join();
            throw RunStopped(messages::ThreadNotStarted(i, workers_, error.code().message()));
        }
    }
}

JunctionPool::~JunctionPool() {
    Stop();
    Join();
}

void JunctionPool::Join() {
    threads_.clear();  // joins
}

void JunctionPool::Work() {
    std::unique_ptr<JunctionWorker> worker;
    std::exception_ptr setup_failure;
    try {
        worker = factory_(&stop_);
    } catch (...) {
        setup_failure = std::current_exception();
    }
    NoteSetUp(setup_failure);
    // Positions until none is left or the pool stops.
    const auto serve = [&] {
        std::vector<int> taken;
        while (!stop_.load()) {
            // Positions in rising order, as many as the worker solves at a time.
            taken.clear();
            const int at_once = worker ? std::max(worker->PositionsAtOnce(), 1) : 1;
            while (static_cast<int>(taken.size()) < at_once) {
                const std::optional<int> position = positions_.Take();
                if (!position) break;
                taken.push_back(*position);
            }
            if (taken.empty()) return;
            if (worker && taken.size() > 1) {
                try {
                    worker->SolveAhead(taken);
                } catch (const JunctionAbandoned&) {
                    return;
                } catch (const toolkit::SolveStopped&) {
                    return;
                } catch (...) {
                    // Row computes each of them alone and meets the failure there.
                }
            }
            for (const int position : taken) {
                if (stop_.load()) return;
                JunctionOutcome outcome;
                if (setup_failure) {
                    outcome.failure = setup_failure;
                } else {
                    try {
                        outcome.row = worker->Row(position);
                        outcome.unsolved = worker->LastUnsolved();
                    } catch (const JunctionAbandoned&) {
                        return;
                    } catch (const toolkit::SolveStopped&) {
                        return;  // the stop request, seen inside a solve
                    } catch (...) {
                        outcome.failure = std::current_exception();
                    }
                }
                const bool failed = outcome.failure != nullptr;
                if (failed) positions_.EndAt(position);
                outcomes_.Put(position, std::move(outcome));
                if (setup_failure) return;
                if (failed) break;  // the rest of the taken positions are past the end
            }
        }
    };
    serve();
    // A pool stopped on a large network ends without waiting for its workers' memory.
    if (stop_.load()) toolkit::DestroyApart(std::move(worker));
}

void JunctionPool::NoteSetUp(const std::exception_ptr& failure) {
    const auto taken = [this] {
        const std::size_t heap = HeapBytesInUse();
        return heap > heap_before_ ? heap - heap_before_ : 0;
    };
    if (!failure) {
        // Once every worker is set up, the heap they took is shared out evenly.
        if (set_up_.fetch_add(1) + 1 == workers_) {
            each_.store(taken() / static_cast<std::size_t>(workers_));
        }
        return;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        std::size_t none = 0;
        (void)taken_at_failure_.compare_exchange_strong(none, taken());
    } catch (...) {
    }
}

int WorkerThreadCount(int requested) {
    if (requested > 0) return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int WorkerThreadCount(int requested, int rows) {
    return std::min(WorkerThreadCount(requested), std::max(rows, 1));
}

}  // namespace hydrosk::analysis
