#include "tests/support/WaitFor.h"

#include <chrono>
#include <thread>

bool WaitFor(const std::function<bool()>& condition)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
