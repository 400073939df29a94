#pragma once

#include <QString>
#include <optional>

// The progress on the program's launcher icon that Linux desktops show (KDE
// Plasma, the common GNOME docks): the com.canonical.Unity.LauncherEntry
// signal on the session bus. Without a session bus, or with nobody
// listening, it costs one failed connection and nothing after.
class LauncherProgress {
public:
    // `desktopFile` like "quenor-cleaner.desktop".
    explicit LauncherProgress(const QString& desktopFile);

    // `percent` of the work; nothing known shows no bar.
    void Show(std::optional<int> percent);
    void Clear();

private:
    void Send(bool visible, double progress);

    QString applicationUri_;
    bool shown_ = false;
    int percent_ = -1;
};
