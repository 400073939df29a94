#pragma once

#include <cstddef>
#include <exception>
#include <string>

// What the error box says for `error`, in the core's 8-bit text: the
// innermost non-empty message of the error and whatever it wraps, with a full
// stop added when its last character sorts after '.'. Both windows show it.
std::string ErrorMessage(const std::exception_ptr& error);

// The error box's title in both windows: the executable's file name without
// its folder, cut at its first '.', every character after the first put in
// lower case by the window's own `lower` (the toolkits know the letters).
template <class Char, class Lower>
std::basic_string<Char> ApplicationTitleOf(const std::basic_string<Char>& executablePath, Lower lower)
{
    const Char separators[] = {Char('/'), Char('\\'), Char(0)};
    const std::size_t folderEnd = executablePath.find_last_of(separators);
    std::basic_string<Char> name =
        folderEnd == std::basic_string<Char>::npos ? executablePath : executablePath.substr(folderEnd + 1);
    name = name.substr(0, name.find(Char('.')));
    if (name.size() > 1)
        name = name.substr(0, 1) + lower(name.substr(1));
    return name;
}
