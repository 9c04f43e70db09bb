// The hydraulic solves of a run and their iterations, counted by every worker thread: what
// `hydrosk-cli fireflow --stats` reports.
#pragma once

#include <atomic>

namespace hydrosk::toolkit {
class Project;
}

namespace hydrosk::analysis {

class SolveCount {
public:
    // One solve (a steady-state solve or one time step) just made on `project`, whose
    // iterations the project tells.
    void Add(const toolkit::Project& project);
    // One solve of `iterations` iterations.
    void Add(long iterations) {
        solves_.fetch_add(1, std::memory_order_relaxed);
        iterations_.fetch_add(iterations, std::memory_order_relaxed);
    }

    long solves() const { return solves_.load(std::memory_order_relaxed); }
    long iterations() const { return iterations_.load(std::memory_order_relaxed); }

private:
    std::atomic<long> solves_{0};
    std::atomic<long> iterations_{0};
};

// Counts into `count` when there is one.
inline void CountSolve(SolveCount* count, const toolkit::Project& project) {
    if (count != nullptr) count->Add(project);
}

}  // namespace hydrosk::analysis
