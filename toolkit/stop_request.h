// A request from another thread to stop a long hydraulic computation. The solver looks at it
// once per iteration and the factorisation of its matrix every few thousand columns, so that
// a run on a network of any size ends soon after it was asked to. EPANET has no such request;
// without one (the C interface never sets it) every result is EPANET's.
#pragma once

#include <atomic>
#include <exception>

namespace hydrosk::toolkit {

// Thrown out of a solve once the stop request is set. The project's hydraulics are then left
// in no defined state: the project is closed or discarded.
class SolveStopped : public std::exception {
public:
    const char* what() const noexcept override { return "hydraulic solve stopped"; }
};

// nullptr: never stopped.
using StopRequest = const std::atomic<bool>*;

inline void ThrowIfStopRequested(StopRequest stop) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) throw SolveStopped();
}

}  // namespace hydrosk::toolkit
