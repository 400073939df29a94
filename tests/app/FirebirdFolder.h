#pragma once

#include <string>

// A Firebird folder at `folder` for FIREBIRD, which both the tool (for
// bin/gbak) and the client library (for its configuration, plugins and
// character sets) read: the installation's own files but its lib, so that
// the client is loaded by name, plus a bin/gbak that
// is the real one when `gbakScript` is empty, else that shell script
// (without its #! line), which may run /usr/bin/gbak itself. Returns `folder`.
std::string FirebirdFolder(const std::string& folder, const std::string& gbakScript);
