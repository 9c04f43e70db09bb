// Memory released away from the thread that was stopped. A network of millions of elements
// takes seconds to free, element by element; a computation that was asked to stop hands what
// it built to a thread of its own instead, so that it ends at once.
#pragma once

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace hydrosk::toolkit {

// Destroys `object` on a detached thread, or here when no thread can be started.
template <typename T>
void DestroyApart(std::unique_ptr<T> object) {
    auto destroy = [owned = std::move(object)]() mutable { owned.reset(); };
    try {
        std::thread(std::move(destroy)).detach();
    } catch (const std::system_error&) {
        destroy();
    }
}

}  // namespace hydrosk::toolkit
