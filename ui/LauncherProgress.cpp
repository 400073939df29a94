#include "ui/LauncherProgress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

LauncherProgress::LauncherProgress(const QString& desktopFile)
    : applicationUri_(QStringLiteral("application://") + desktopFile)
{
}

void LauncherProgress::Show(std::optional<int> percent)
{
    // Sent only when it changes: a run of hours reports ten times a second.
    const int now = percent.value_or(-1);
    if (shown_ == percent.has_value() && now == percent_)
        return;
    percent_ = now;
    shown_ = percent.has_value();
    Send(shown_, shown_ ? now / 100.0 : 0.0);
}

void LauncherProgress::Clear()
{
    if (!shown_ && percent_ == -1)
        return;
    shown_ = false;
    percent_ = -1;
    Send(false, 0.0);
}

void LauncherProgress::Send(bool visible, double progress)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/quenor"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), progress);
    properties.insert(QStringLiteral("progress-visible"), visible);
    update << applicationUri_ << properties;
    bus.send(update);
}
