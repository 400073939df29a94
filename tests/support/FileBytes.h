#pragma once

#include <string>

// The whole content of a file; throws when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
