#include "tests/support/WaitFor.h"

#include <chrono>
#include <thread>

bool WaitFor(const std::function<bool()>& condition)
{
    for (int tries = 0; tries < 600; ++tries) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
