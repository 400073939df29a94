#pragma once

#include <functional>
#include <memory>
#include <string>

#include "clean/CompactResult.h"
#include "clean/Trace.h"
#include "platform/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "platform/Registry.h"

// Makes the registry reader of one compaction: root HKEY_LOCAL_MACHINE,
// KEY_READ access. Tests hand in a reader of their own.
using RegistryReaderFactory = std::function<std::unique_ptr<platform::RegistryReader>()>;
RegistryReaderFactory PlatformRegistryReaderFactory();

// Rebuilds a database file with gbak: backup, delete, restore in place.
class CompactionStage {
public:
    // `whileWaiting` is called while gbak runs (platform::WhileWaiting).
    CompactionStage(TraceSink& trace, platform::FileSystem& files, platform::ProcessRunner& processes,
                    RegistryReaderFactory makeRegistryReader, platform::WhileWaiting whileWaiting = {});

    // `correct` is asked once, when the restore is built, after the backup.
    // A registry value of the wrong kind raises platform::RegistryError.
    CompactResult CompactDatabase(const std::string& path, const std::string& FdkFileName,
                                  const std::function<bool()>& correct);

    // One gbak run: true exactly when it started and exited with code 0.
    bool RunGbak(const platform::CommandArguments& commandLine);

private:
    TraceSink& trace_;
    platform::FileSystem& files_;
    platform::ProcessRunner& processes_;
    RegistryReaderFactory makeRegistryReader_;
    platform::WhileWaiting whileWaiting_;
};
