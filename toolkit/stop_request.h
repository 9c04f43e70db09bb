// A request from another thread to stop a long hydraulic computation. The solver looks at it
// once per iteration and the factorisation of its matrix every few thousand columns, so that
// a run on a network of any size ends soon after it was asked to. EPANET has no such request;
// without one (the C interface never sets it) every result is EPANET's.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <vector>

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

// Networks of millions of elements are laid out and copied a block at a time, with a look at
// the stop request between blocks (none for a single block).
inline constexpr std::size_t kElementsBetweenStopChecks = 65536;

// Grows `items` to `size` elements.
template <typename T>
void GrowTo(std::vector<T>& items, std::size_t size, StopRequest stop) {
    items.reserve(size);
    while (items.size() < size) {
        if (!items.empty()) ThrowIfStopRequested(stop);
        items.resize(std::min(size, items.size() + kElementsBetweenStopChecks));
    }
}

// Appends a copy of every element of `from` to `to`.
template <typename T>
void CopyInto(const std::vector<T>& from, std::vector<T>& to, StopRequest stop) {
    to.reserve(to.size() + from.size());
    for (std::size_t at = 0; at < from.size(); at += kElementsBetweenStopChecks) {
        if (at > 0) ThrowIfStopRequested(stop);
        const std::size_t end = std::min(from.size(), at + kElementsBetweenStopChecks);
        to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(at),
                  from.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

}  // namespace hydrosk::toolkit
