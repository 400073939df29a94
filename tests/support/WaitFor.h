#pragma once

#include <functional>

// Asks `condition` every 50 ms, for two minutes at most (what a run on a
// busy machine may take to get there); whether it came true.
bool WaitFor(const std::function<bool()>& condition);
