#include "tests/support/FirebirdTestDatabase.h"

#include <cstdio>
#include <regex>
#include <stdexcept>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

std::string RunIsqlScript(const std::string& script)
{
    TempDir dir;
    const std::string scriptPath = dir.File("script.sql");
    WriteFileBytes(scriptPath, script);
    const std::string command = "isql-fb -q -b -i '" + scriptPath + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot start isql-fb");
    std::string output;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    const int status = pclose(pipe);
    if (status != 0)
        throw std::runtime_error("isql-fb failed:\n" + script + "\n" + output);
    return output;
}

}  // namespace

void CreateFirebirdDatabase(const std::string& path, const std::string& sql)
{
    RunIsqlScript("CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD 'plumtiger' DEFAULT CHARACTER SET WIN1251;\n" +
                  sql + "\nCOMMIT;\n");
}

std::string RunIsql(const std::string& path, const std::string& sql)
{
    return RunIsqlScript("CONNECT '" + path + "' USER 'SYSDBA' PASSWORD 'plumtiger';\n" + sql + "\nCOMMIT;\n");
}

bool ProductAttaches(const std::string& path)
{
    try {
        RunIsqlScript("CONNECT '" + path + "' USER 'OPERATOR';\nSELECT 1 FROM RDB$DATABASE;\n");
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

long long QueryInteger(const std::string& path, const std::string& select)
{
    const std::string output = RunIsql(path, select + ";");
    std::smatch match;
    if (!std::regex_search(output, match, std::regex(R"(=+\s+(-?\d+))")))
        throw std::runtime_error("no integer in isql output:\n" + output);
    return std::stoll(match[1]);
}
