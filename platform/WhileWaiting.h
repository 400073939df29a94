#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <utility>

namespace platform {

// How far a long step has come: the bytes a copy has written, or a child
// process has read; nothing where that cannot be known.
using BytesSoFar = std::optional<std::uint64_t>;

// Called on the waiting thread, about every WhileWaitingInterval, while a
// long step (a copy, a child process, a statement) blocks it, so a window on
// that thread can keep painting and show how far the step has come. False
// asks the step to stop as soon as it can. Empty: the step just blocks.
using WhileWaiting = std::function<bool(BytesSoFar)>;
inline constexpr std::chrono::milliseconds WhileWaitingInterval{100};

// What a step working on a thread of its own shares with its waiter.
struct StepShare {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<bool> stop{false};
};

// Does `work(share)` on a thread of its own while this thread calls
// `whileWaiting` before it starts and then every interval with the bytes `work` has put in the share;
// returns what `work` returned. The first false from `whileWaiting` sets the
// share's stop, which `work` is to heed; from then on `onStop` is called here
// every interval until `work` ends, so a stop that came too early for what
// it stops (a statement not yet started) is not lost.
// Without `whileWaiting`, `work` runs here. Should `whileWaiting` throw,
// `work` is still waited for before the error goes on, since it may use the
// caller's data.
template <class Work>
auto WaitingFor(Work work, const WhileWaiting& whileWaiting, const std::function<void()>& onStop = {})
{
    StepShare share;
    if (!whileWaiting)
        return work(share);
    // Asked once before the work starts, so that a stop already asked for
    // meets the work at its first check, however quick it is.
    if (!whileWaiting(BytesSoFar(0)))
        share.stop = true;
    auto done = std::async(std::launch::async, [&work, &share] { return work(share); });
    // Still called once stopping, as the work may take a moment to wind down.
    while (done.wait_for(WhileWaitingInterval) != std::future_status::ready) {
        if (!whileWaiting(share.bytes.load()))
            share.stop = true;
        if (share.stop && onStop)
            onStop();
    }
    return done.get();
}

}  // namespace platform
