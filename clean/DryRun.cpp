#include "clean/DryRun.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "clean/DatabaseStage.h"
#include "clean/FileErrorText.h"
#include "clean/RoomCheck.h"
#include "clean/SharedStrings.h"
#include "clean/WorkingNames.h"

namespace {

// The database stage attaches to DBFileName; for the count that is the
// copy, and the operator's path again afterwards.
class AttachTo {
public:
    explicit AttachTo(const std::string& path) : previous_(std::exchange(DBFileName, path)) {}
    ~AttachTo() { DBFileName = previous_; }
    AttachTo(const AttachTo&) = delete;
    AttachTo& operator=(const AttachTo&) = delete;

private:
    std::string previous_;
};

// The scratch copy goes however the count ends.
class ScratchCopy {
public:
    ScratchCopy(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    ~ScratchCopy()
    {
        if (made_)
            files_.Delete(path_);
    }
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;

    platform::FileResult Make(const std::string& from, const platform::WhileWaiting& whileWaiting)
    {
        const platform::FileResult copied = files_.Copy(from, path_, whileWaiting);
        made_ = static_cast<bool>(copied);
        return copied;
    }
    const std::string& Path() const { return path_; }

private:
    platform::FileSystem& files_;
    std::string path_;
    bool made_ = false;
};

}  // namespace

RunOutcome DryRunCleaning(CleaningHost& host, platform::FileSystem& files, const std::string& scratchFolder,
                          std::vector<std::string> clientLibraryNames)
{
    const std::string path = host.DatabasePathText();
    if (files.KindOf(path) != platform::PathKind::File) {
        host.Trace("Файл БД не найден или не является файлом:", clRed);
        host.Trace(path, clRed);
        return RunOutcome::Refused;
    }
    RunOutcome outcome = RunOutcome::Done;
    RoomForRun room;
    if (const platform::FileResult measured = MeasureRoom(files, path, DeriveWorkingNames(path), room); !measured) {
        host.Trace("Не удалось узнать, сколько места на диске: " + FileErrorText(measured) + ".", clRed);
        return RunOutcome::Refused;
    }
    if (room.Enough()) {
        host.Trace("Места на диске для очистки достаточно: " + RoomFigures(room) + ".", clBlack);
    } else {
        host.Trace(NoRoomLine(room), clRed);
        outcome = RunOutcome::Refused;
    }

    // The copy, and what the deletes add to it.
    const std::uint64_t scratchNeeded = room.databaseSize + room.databaseSize / 8;
    std::uint64_t scratchFree = 0;
    if (files.FreeSpace(scratchFolder, scratchFree) && scratchFree < scratchNeeded) {
        host.Trace("Для подсчёта строк нет места на копию файла БД во временной папке (нужно не меньше " +
                       SizeText(scratchNeeded, true) + ", свободно " + SizeText(scratchFree, false) + "):",
                   clRed);
        host.Trace(scratchFolder, clRed);
        return RunOutcome::Refused;
    }
    // A name taken by another count, or left by one that was killed, only
    // means the next one is tried.
    std::unique_ptr<ScratchCopy> copy;
    platform::FileResult copied{platform::FileError::TargetExists, 0};
    for (int attempt = 0; attempt < 100 && copied.error == platform::FileError::TargetExists; ++attempt) {
        copy = std::make_unique<ScratchCopy>(
            files, scratchFolder + "quenor-cleaner-count-" + std::to_string(attempt) + ".fdb");
        copied = copy->Make(path, {});
    }
    if (!copied) {
        host.Trace("Не удалось скопировать файл БД для подсчёта строк: " + FileErrorText(copied) + ".", clRed);
        host.Trace(copy->Path(), clRed);
        return RunOutcome::Refused;
    }
    DatabaseStage stage(host, std::move(clientLibraryNames));
    const AttachTo attach(copy->Path());
    if (!stage.OpenDatabase() || !stage.DeleteBeforeDate(host.CalendarValue()) || !stage.CloseDatabase()) {
        stage.DropConnection();
        return RunOutcome::Refused;
    }
    host.Trace("Строк старше выбранной даты: " + DatabaseStage::DeletedRowsText(stage.LastDeleted()) + ".", clBlack);
    return outcome;
}
