#pragma once

#include <cstdint>
#include <string>

#include "clean/WorkingNames.h"
#include "platform/FileSystem.h"

// The room a whole run takes on the database's volume at its peak, beyond
// the database itself, against the room there is. The peak comes at the end
// of the backup, when the database, its safety copy and the backup lie side
// by side; the restore's new file takes no more than the database and the
// copy gave back. A copy that the file system shares with the database
// (a reflink) takes its room page by page as the delete and the restore
// write, so it is counted in full all the same.
struct RoomForRun {
    std::uint64_t databaseSize = 0;
    std::uint64_t needed = 0;
    // Free on the volume, with the leftovers of an earlier run that the run
    // deletes before its copy.
    std::uint64_t available = 0;
    bool Enough() const { return available >= needed; }
};

// What a run on a database of `databaseSize` bytes needs beyond it: the
// copy, a backup no larger than the database, and a margin for what the
// delete adds to the file before the backup.
std::uint64_t RoomNeededBeyond(std::uint64_t databaseSize);

// Measures the database at `path` and its volume. Fails when either cannot
// be read; `room` is then left alone.
platform::FileResult MeasureRoom(platform::FileSystem& files, const std::string& path, const WorkingNames& names,
                                 RoomForRun& room);

// A size for the operator: whole kilobytes below a megabyte, whole megabytes
// below ten gigabytes, tenths of a gigabyte above, rounded up or down as asked, so that a room that is short
// never reads as enough.
std::string SizeText(std::uint64_t bytes, bool roundUp);

// "нужно не меньше …, свободно …": the two figures of a room check.
std::string RoomFigures(const RoomForRun& room);
// The red line of a volume without room for the run, figures included.
std::string NoRoomLine(const RoomForRun& room);
