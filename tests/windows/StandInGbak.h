#pragma once

#include <string>
#include <vector>

// A folder laid out like a Firebird installation whose gbak.exe is the
// stand-in program (tests/support/GbakStandIn.cpp), with its plan and its
// record.
class StandInGbak {
public:
    // Where the installation keeps its tools: Firebird 2.5 and older in Bin,
    // 3.0 and later in the installation's root.
    enum class Layout { Bin, Root };

    // One run of the stand-in as it recorded it.
    struct Call {
        std::string commandLine;
        std::vector<std::string> arguments;  // argv, the program first
    };

    // Installs the stand-in below `installation` (made when missing), which
    // then holds "Bin\gbak.exe", or "gbak.exe" in the Root layout. `script`
    // holds the plan, one line per run, see tests/support/GbakStandIn.cpp.
    StandInGbak(const std::string& installation, const std::vector<std::string>& script, Layout layout = Layout::Bin);

    // The installation folder with its closing backslash, as the registry
    // value holds it.
    std::string InstallationDirectory() const { return installation_ + "\\"; }
    std::string ProgramPath() const
    {
        return installation_ + (layout_ == Layout::Bin ? "\\Bin\\gbak.exe" : "\\gbak.exe");
    }
    std::vector<Call> Calls() const;

private:
    std::string installation_;
    Layout layout_;
};

// The folder of the running test program, with its closing backslash.
std::string TestProgramFolder();

// Puts a copy of the stand-in client library (tests/windows/window/
// FbClientStandIn.cpp, built for this program's bitness) at `path`, making
// its folder. With `refusesLogin`, that copy fails every attach the way a
// server refuses an older client's login.
void PlaceStandInClient(const std::string& path, bool refusesLogin = false);

// A file at `path` whose header says it is a library for 32-bit programs,
// and that holds nothing else: this program can never load it.
void PlaceThirtyTwoBitLibrary(const std::string& path);
