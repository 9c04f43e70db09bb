#include "analysis/junction_pool.h"

#include <algorithm>

namespace hydrosk::analysis {

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

JunctionPool::JunctionPool(int count, int threads, WorkerFactory factory)
    : count_(count), factory_(std::move(factory)), last_position_(count) {
    const int workers = std::clamp(threads, 1, std::max(count, 1));
    threads_.reserve(static_cast<std::size_t>(workers));
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

JunctionPool::~JunctionPool() {
    Stop();
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
    while (!stop_.load()) {
        const int position = next_position_.fetch_add(1);
        if (position > last_position_.load()) return;
        JunctionOutcome outcome;
        if (setup_failure) {
            outcome.failure = setup_failure;
        } else {
            try {
                outcome.row = worker->Row(position);
            } catch (const JunctionAbandoned&) {
                return;
            } catch (...) {
                outcome.failure = std::current_exception();
            }
        }
        if (outcome.failure) {
            // Every earlier position is already out; no later one matters any more.
            int last = last_position_.load();
            while (position < last && !last_position_.compare_exchange_weak(last, position)) {
            }
        }
        outcomes_.Put(position, std::move(outcome));
        if (setup_failure) return;
    }
}

int WorkerThreadCount(int requested) {
    if (requested > 0) return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace hydrosk::analysis
