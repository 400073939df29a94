#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <utility>

namespace platform {

// Called on the waiting thread, about every WhileWaitingInterval, while a
// long step (a copy, a child process) blocks it, so a window on that thread
// can keep painting. Empty: the step just blocks.
using WhileWaiting = std::function<void()>;
inline constexpr std::chrono::milliseconds WhileWaitingInterval{100};

// Does `work` on a thread of its own while this thread calls `whileWaiting`
// every interval; returns what `work` returned. Without `whileWaiting`,
// `work` runs here. Should `whileWaiting` throw, `work` is still waited for
// before the error goes on, since it may use the caller's data.
template <class Work>
auto WaitingFor(Work work, const WhileWaiting& whileWaiting)
{
    if (!whileWaiting)
        return work();
    auto done = std::async(std::launch::async, std::move(work));
    while (done.wait_for(WhileWaitingInterval) != std::future_status::ready)
        whileWaiting();
    return done.get();
}

}  // namespace platform
