#include "tests/support/FileBytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> FolderBytes(const std::string& folder)
{
    std::map<std::string, std::string> contents;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
        contents[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    return contents;
}
