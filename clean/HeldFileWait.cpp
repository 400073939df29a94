#include "clean/HeldFileWait.h"

#include <algorithm>
#include <string>
#include <thread>

#include "platform/WhileWaiting.h"

namespace {

// What a server needs beyond the LINGER to notice a client that is gone and
// close the file: its poll of dead clients, the end of a short sweep.
constexpr std::chrono::seconds Margin{10};
constexpr std::chrono::seconds Longest{60};

}  // namespace

std::chrono::milliseconds HeldFileWaitBound(int lingerSeconds)
{
    return std::min<std::chrono::milliseconds>(std::chrono::seconds(std::max(lingerSeconds, 0)) + Margin, Longest);
}

platform::FileResult RetryWhileHeld(TraceSink& trace, const std::function<std::chrono::milliseconds()>& bound,
                                    const std::function<bool()>& tick,
                                    const std::function<platform::FileResult()>& attempt)
{
    platform::FileResult result = attempt();
    if (result.error != platform::FileError::Held)
        return result;
    const std::chrono::milliseconds longest = bound();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(longest).count();
    // Short enough for the pane, which does not wrap: what the run waits
    // for, and for how long at most.
    trace.Trace("Файл БД ещё занят другим процессом, ожидание до " + std::to_string(seconds) + " с...", clBlue);
    const auto deadline = std::chrono::steady_clock::now() + longest;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(platform::WhileWaitingInterval);
        if (tick && !tick())
            return {platform::FileError::Stopped, 0};
        result = attempt();
        if (result.error != platform::FileError::Held)
            return result;
    }
    return result;
}
