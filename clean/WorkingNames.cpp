#include "clean/WorkingNames.h"

#include <cctype>

#include "platform/PathNames.h"

namespace {

bool MatchesFdbAt(const std::string& path, size_t at)
{
    static constexpr char fdb[] = ".fdb";
    if (path.size() - at < 4)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[at + i])) != fdb[i])
            return false;
    }
    return true;
}

}  // namespace

std::string ReplaceFdb(const std::string& path, const std::string& replacement)
{
    std::string result;
    result.reserve(path.size());
    size_t at = 0;
    while (at < path.size()) {
        if (MatchesFdbAt(path, at)) {
            result += replacement;
            at += 4;
        } else {
            result += path[at++];
        }
    }
    return result;
}

WorkingNames DeriveWorkingNames(const std::string& databasePath)
{
    // Only the file's own name changes: a folder called "data.fdb" is the
    // operator's, and the working files belong beside the database in it.
    const std::size_t nameStart = platform::FileNameStart(databasePath);
    const std::string folder = databasePath.substr(0, nameStart);
    const std::string name = databasePath.substr(nameStart);
    WorkingNames names;
    names.fdk = folder + ReplaceFdb(name, ".fdk");
    names.bak = folder + ReplaceFdb(name, ".bak");
    return names;
}

const char* const JournalSuffix = ".quenor-journal";

std::string JournalName(const std::string& databasePath)
{
    return databasePath + JournalSuffix;
}
