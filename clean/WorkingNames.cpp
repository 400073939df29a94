#include "clean/WorkingNames.h"

#include <cctype>

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
    WorkingNames names;
    names.fdk = ReplaceFdb(databasePath, ".fdk");
    names.bak = ReplaceFdb(databasePath, ".bak");
    return names;
}
