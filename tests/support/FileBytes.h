#pragma once

#include <map>
#include <string>

// The whole content of a file; throws when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Every file in `folder` by its name, with its content: to tell that nothing
// in the folder changed.
std::map<std::string, std::string> FolderBytes(const std::string& folder);
