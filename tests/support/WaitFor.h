#pragma once

#include <functional>

// Asks `condition` every 50 ms, for 30 s at most; whether it came true.
bool WaitFor(const std::function<bool()>& condition);
