#pragma once

#include <memory>
#include <optional>
#include <string>

struct DBusConnection;

// The progress on the program's launcher icon that Linux desktops show (KDE
// Plasma, the common GNOME docks): the com.canonical.Unity.LauncherEntry
// signal on the session bus. Without a session bus, or with nobody
// listening, it costs one failed connection and nothing after.
//
// libdbus on a private connection rather than Qt's bus: Qt runs its bus on a
// thread of its own that lives until the process exits, and tears down what
// it holds there in no set order; this connection is written from the
// window's thread and closed when the window goes, before the application
// ends.
class LauncherProgress {
public:
    // `desktopFile` like "org.quenor.cleaner.desktop".
    explicit LauncherProgress(std::string desktopFile);
    ~LauncherProgress();
    LauncherProgress(const LauncherProgress&) = delete;
    LauncherProgress& operator=(const LauncherProgress&) = delete;

    // `percent` of the work; nothing known shows no bar.
    void Show(std::optional<int> percent);
    void Clear();

private:
    void Send(bool visible, double progress);

    struct CloseConnection {
        void operator()(DBusConnection* connection) const;
    };

    std::string applicationUri_;
    bool connectionTried_ = false;
    std::unique_ptr<DBusConnection, CloseConnection> bus_;
    bool shown_ = false;
    int percent_ = -1;
};
