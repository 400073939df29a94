#pragma once

#include <string>

// What the stand-in gbak (GbakStandIn.cpp) needs from the system it runs on;
// GbakStandInPosix.cpp and GbakStandInWin.cpp provide it.

// The program's own full path; `argv0` where the system gives nothing better.
std::string OwnPath(const char* argv0);
// The command line as the program received it.
std::string RawCommandLine(int argc, char** argv);
// Copies `from` to `to`. With `replace`, an existing `to` is written over
// and keeps its attributes, as gbak's backup does; without, it fails when
// `to` exists, as gbak's restore does.
bool CopyFileBytes(const std::string& from, const std::string& to, bool replace);
void RemoveFile(const std::string& path);
void DieBySignal(int signal);
// `code` as main's result: all 32 bits of it where exit codes have them.
int ExitCode(unsigned long code);
