#pragma once

#include <string>

#include "platform/FileSystem.h"

// Why the system refused a file operation, in the operator's words: a
// lower-case phrase to put into a trace line.
std::string FileErrorText(const platform::FileResult& result);
