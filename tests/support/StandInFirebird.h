#pragma once

#include <string>

// A Firebird installation at `root` whose bin/gbak is the shell script
// `script` (without its #! line); returns `root`. The script sees gbak's
// arguments and may run the real /usr/bin/gbak itself.
std::string StandInFirebird(const std::string& root, const std::string& script);

// A gbak script that would run for a minute when called with `option`
// ("-b" for the backup, "-c" for the restore), and is the real gbak
// otherwise: for a run stopped while gbak works.
std::string GbakSleepingAt(const char* option);
