#pragma once

#include <functional>

// Runs `check` as a user whom permission bits can refuse. As root (which reads
// and searches any folder) that is a forked child turned into "nobody";
// otherwise the check runs here. Folders the check walks through must let
// others search them.
bool AsUnprivilegedUser(const std::function<bool()>& check);
