#include "ui/LauncherProgress.h"

#include <dbus/dbus.h>

namespace {

struct UnrefMessage {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};

// One "{sv}" entry of the Update signal's properties.
bool AppendProperty(DBusMessageIter& properties, const char* name, int type, const char* signature, const void* value)
{
    DBusMessageIter entry;
    DBusMessageIter variant;
    return dbus_message_iter_open_container(&properties, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
           dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &name) &&
           dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant) &&
           dbus_message_iter_append_basic(&variant, type, value) &&
           dbus_message_iter_close_container(&entry, &variant) &&
           dbus_message_iter_close_container(&properties, &entry);
}

}  // namespace

void LauncherProgress::CloseConnection::operator()(DBusConnection* connection) const
{
    dbus_connection_flush(connection);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

LauncherProgress::LauncherProgress(std::string desktopFile) : applicationUri_("application://" + desktopFile)
{
}

LauncherProgress::~LauncherProgress() = default;

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
    if (!connectionTried_) {
        connectionTried_ = true;
        DBusError error;
        dbus_error_init(&error);
        bus_.reset(dbus_bus_get_private(DBUS_BUS_SESSION, &error));
        dbus_error_free(&error);
        // libdbus ends the whole process when the bus goes away, which would
        // cut a run short for the sake of a progress bar.
        if (bus_)
            dbus_connection_set_exit_on_disconnect(bus_.get(), FALSE);
    }
    if (!bus_)
        return;
    const std::unique_ptr<DBusMessage, UnrefMessage> update(dbus_message_new_signal(
        "/com/canonical/unity/launcherentry/quenor", "com.canonical.Unity.LauncherEntry", "Update"));
    if (!update)
        return;
    DBusMessageIter arguments;
    DBusMessageIter properties;
    const char* uri = applicationUri_.c_str();
    const dbus_bool_t barVisible = visible ? TRUE : FALSE;
    dbus_message_iter_init_append(update.get(), &arguments);
    const bool built =
        dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &uri) &&
        dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &properties) &&
        AppendProperty(properties, "progress", DBUS_TYPE_DOUBLE, DBUS_TYPE_DOUBLE_AS_STRING, &progress) &&
        AppendProperty(properties, "progress-visible", DBUS_TYPE_BOOLEAN, DBUS_TYPE_BOOLEAN_AS_STRING, &barVisible) &&
        dbus_message_iter_close_container(&arguments, &properties);
    if (!built)
        return;
    // Written out now: nothing on this connection reads or writes between
    // signals, and a dock should see the share when it changes.
    dbus_connection_send(bus_.get(), update.get(), nullptr);
    dbus_connection_flush(bus_.get());
}
