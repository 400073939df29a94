#pragma once

#include <string>

#include "platform/CommandLine.h"

// The argument lists of gbak's two runs. Paths are quoted and switches and the
// account bare, so that platform::WindowsCommandLine gives gbak's command line
// byte for byte and POSIX gets the same arguments as argv.
class GbakCommand {
public:
    GbakCommand(std::string gbakFileName, std::string userName, std::string password);

    // gbak -b -g <database> <backup>: garbage collection off, the old
    // versions of deleted rows are not worth reading once more.
    platform::CommandArguments Backup(const std::string& database, const std::string& backup) const;
    // gbak -c <backup> <database>, with -fix_fss_metadata win1251 when
    // `correct`: metadata texts stored as UNICODE_FSS are read as win1251.
    platform::CommandArguments Restore(const std::string& backup, const std::string& database, bool correct) const;

private:
    platform::CommandArguments Start() const;
    void AppendAccount(platform::CommandArguments& arguments) const;

    std::string gbakFileName_;
    std::string userName_;
    std::string password_;
};
