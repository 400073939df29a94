#include "clean/RoomCheck.h"

#include <cstdio>

#include "platform/PathNames.h"

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t GiB = 1024 * MiB;

}  // namespace

std::uint64_t RoomNeededBeyond(std::uint64_t databaseSize)
{
    // The delete leaves a stub beside each deleted row and may move old
    // versions to new pages; a database of a few pages still needs whole
    // pages for its backup's headers. Both margins stand well above what
    // runs on the benchmark's databases and on wide rows were seen to take.
    return 2 * databaseSize + databaseSize / 8 + 4 * MiB;
}

platform::FileResult MeasureRoom(platform::FileSystem& files, const std::string& path, const WorkingNames& names,
                                 RoomForRun& room)
{
    std::uint64_t size = 0;
    if (const platform::FileResult sized = files.Size(path, size); !sized)
        return sized;
    std::uint64_t free = 0;
    if (const platform::FileResult measured = files.FreeSpace(path.substr(0, platform::FileNameStart(path)), free);
        !measured)
        return measured;
    for (const std::string& leftover : {names.bak, names.fdk}) {
        std::uint64_t leftoverSize = 0;
        if (files.KindOf(leftover) == platform::PathKind::File && files.Size(leftover, leftoverSize))
            free += leftoverSize;
    }
    room.databaseSize = size;
    room.needed = RoomNeededBeyond(size);
    room.available = free;
    return {};
}

std::string SizeText(std::uint64_t bytes, bool roundUp)
{
    char text[48];
    if (bytes < MiB) {
        const std::uint64_t kilobytes = (bytes + (roundUp ? 1023 : 0)) / 1024;
        std::snprintf(text, sizeof text, "%llu КБ", static_cast<unsigned long long>(kilobytes));
    } else if (bytes < 10 * GiB) {
        const std::uint64_t megabytes = (bytes + (roundUp ? MiB - 1 : 0)) / MiB;
        std::snprintf(text, sizeof text, "%llu МБ", static_cast<unsigned long long>(megabytes));
    } else {
        const std::uint64_t tenths = (10 * bytes + (roundUp ? GiB - 1 : 0)) / GiB;
        std::snprintf(text, sizeof text, "%llu,%llu ГБ", static_cast<unsigned long long>(tenths / 10),
                      static_cast<unsigned long long>(tenths % 10));
    }
    return text;
}

std::string RoomFigures(const RoomForRun& room)
{
    return "нужно не меньше " + SizeText(room.needed, true) + ", свободно " + SizeText(room.available, false);
}

std::string NoRoomLine(const RoomForRun& room)
{
    return "Недостаточно места на диске для очистки: " + RoomFigures(room) + ".";
}
