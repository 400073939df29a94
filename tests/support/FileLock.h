#pragma once

#include <string>

// Whether some other open of `path` holds an exclusive flock on it, as the
// Firebird engine does on an attached database. Probes with a fresh open, so
// it also sees locks taken inside this process.
bool FileHeldByLock(const std::string& path);
