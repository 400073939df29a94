// What a Linux desktop hears of a run on the session bus: run under a bus of
// its own (dbus-run-session), a whole run through the real window, listened
// to as a dock or a task manager listens.
#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clean/SharedStrings.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestSupport.h"
#include "ui/ApplicationId.h"
#include "ui/FormDesign.h"
#include "ui/Main.h"

namespace {

// One Update as the launcher shows it: the bar's share, or no bar.
struct LauncherState {
    std::optional<double> progress;  // nothing: progress-visible false
    bool operator==(const LauncherState&) const = default;
};

void PrintTo(const LauncherState& state, std::ostream* out)
{
    *out << (state.progress ? std::to_string(*state.progress) : std::string("hidden"));
}

// Listens on a connection of its own, as another program on the bus would;
// what it heard is read once the run is over.
class LauncherListener {
public:
    LauncherListener()
    {
        DBusError error;
        dbus_error_init(&error);
        bus_ = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        if (bus_ != nullptr) {
            dbus_connection_set_exit_on_disconnect(bus_, FALSE);
            dbus_bus_add_match(bus_, "type='signal',interface='com.canonical.Unity.LauncherEntry',member='Update'",
                               &error);
            connected_ = !dbus_error_is_set(&error);
        }
        dbus_error_free(&error);
    }
    ~LauncherListener()
    {
        if (bus_ != nullptr) {
            dbus_connection_close(bus_);
            dbus_connection_unref(bus_);
        }
    }
    LauncherListener(const LauncherListener&) = delete;
    LauncherListener& operator=(const LauncherListener&) = delete;

    bool Connected() const { return connected_; }

    // Reads the signals that have come: at least `fewest`, which the bus
    // passes on in its own time (however long a busy machine makes it, up
    // to a minute), then any more until none has come for half a second.
    void Collect(std::size_t fewest)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        auto lastHeard = Clock::now();
        while (Clock::now() < deadline &&
               (states.size() < fewest || Clock::now() - lastHeard < std::chrono::milliseconds(500))) {
            dbus_connection_read_write(bus_, 100);
            while (DBusMessage* message = dbus_connection_pop_message(bus_)) {
                if (dbus_message_is_signal(message, "com.canonical.Unity.LauncherEntry", "Update")) {
                    Heard(message);
                    lastHeard = Clock::now();
                }
                dbus_message_unref(message);
            }
        }
    }

    std::vector<std::string> uris;
    std::vector<LauncherState> states;

private:
    // Update(s uri, a{sv} properties), read as a dock reads it.
    void Heard(DBusMessage* message)
    {
        DBusMessageIter arguments;
        if (!dbus_message_iter_init(message, &arguments) ||
            dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_STRING) {
            ADD_FAILURE() << "an Update without its application";
            return;
        }
        const char* uri = nullptr;
        dbus_message_iter_get_basic(&arguments, &uri);
        uris.emplace_back(uri);
        std::optional<double> progress;
        bool visible = false;
        dbus_message_iter_next(&arguments);
        if (dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_ARRAY) {
            ADD_FAILURE() << "an Update without its properties";
            return;
        }
        DBusMessageIter properties;
        dbus_message_iter_recurse(&arguments, &properties);
        for (; dbus_message_iter_get_arg_type(&properties) == DBUS_TYPE_DICT_ENTRY;
             dbus_message_iter_next(&properties)) {
            DBusMessageIter entry;
            DBusMessageIter value;
            const char* name = nullptr;
            dbus_message_iter_recurse(&properties, &entry);
            dbus_message_iter_get_basic(&entry, &name);
            dbus_message_iter_next(&entry);
            dbus_message_iter_recurse(&entry, &value);
            if (std::string(name) == "progress" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_DOUBLE) {
                double share = 0;
                dbus_message_iter_get_basic(&value, &share);
                progress = share;
            } else if (std::string(name) == "progress-visible" &&
                       dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_BOOLEAN) {
                dbus_bool_t shown = FALSE;
                dbus_message_iter_get_basic(&value, &shown);
                visible = shown != FALSE;
            }
        }
        states.push_back(visible ? LauncherState{progress} : LauncherState{});
    }

    DBusConnection* bus_ = nullptr;
    bool connected_ = false;
};

// What the launcher is to show while the caption reads `title`.
LauncherState StateOf(const QString& title)
{
    const QRegularExpressionMatch share = QRegularExpression(": (\\d+)%").match(title);
    if (!share.hasMatch())
        return {};
    return {share.captured(1).toInt() / 100.0};
}

// The launcher follows the run step by step, as the caption does, each
// step's share never going back, and ends without a bar once the run is
// over.
TEST(LauncherProgress, ADockHearsTheRunsProgressInOrderAndItsEnd)
{
    LauncherListener listener;
    ASSERT_TRUE(listener.Connected()) << "no session bus: run under dbus-run-session";
    TempDir dir;
    const std::string database = dir.File("MAIN.fdb");
    // Large enough that gbak is seen part way through.
    CreateFirebirdDatabase(database, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff +
                                         "CREATE TABLE bulk (filler VARCHAR(2000));\nCOMMIT;\nSET TERM ^;\n"
                                         "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < 30000) DO BEGIN "
                                         "INSERT INTO bulk VALUES (LPAD(:i, 2000, 'x')); i = i + 1; END END^\n"
                                         "SET TERM ;^\nCOMMIT;\n");
    TMainForm form(nullptr, std::make_unique<ScriptedFileDialog>(
                                std::deque<std::optional<QString>>{QString::fromStdString(database)}));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(Child<QWidget>(&form, "FileOpenButton"), Qt::LeftButton);
    std::vector<QString> titles;
    QObject::connect(&form, &QWidget::windowTitleChanged, &form,
                     [&](const QString& title) { titles.push_back(title); });

    QTest::mouseClick(Child<QWidget>(&form, "ClearDBButton"), Qt::LeftButton);

    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back().toStdString(), form::Caption) << "the caption is the window's own again";
    // What the captions say the launcher went through, once per change,
    // from no bar back to no bar.
    std::vector<LauncherState> expected;
    LauncherState last;
    std::optional<int> lastShare;
    QString lastStep;
    bool goingBack = false;
    for (const QString& title : titles) {
        const QString step = title.section(':', 0, 0);
        const LauncherState state = title.toStdString() == form::Caption ? LauncherState{} : StateOf(title);
        if (state.progress) {
            const int share = static_cast<int>(*state.progress * 100 + 0.5);
            goingBack = goingBack || (step == lastStep && lastShare && share < *lastShare);
            lastShare = share;
        }
        if (step != lastStep)
            lastShare.reset();
        lastStep = step;
        if (state != last)
            expected.push_back(state);
        last = state;
    }
    EXPECT_FALSE(goingBack);
    listener.Collect(expected.size());
    EXPECT_EQ(listener.states, expected);
    ASSERT_FALSE(listener.states.empty());
    EXPECT_TRUE(std::any_of(listener.states.begin(), listener.states.end(), [](const LauncherState& state) {
        return state.progress.value_or(0) > 0;
    })) << "a share was shown part way through a step";
    EXPECT_EQ(listener.states.back(), LauncherState{}) << "no bar once the run is over";
    for (const std::string& uri : listener.uris)
        EXPECT_EQ(uri, std::string("application://") + DesktopFileName);
    DBFileName.clear();
}

}  // namespace
