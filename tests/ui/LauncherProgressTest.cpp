// What a Linux desktop hears of a run on the session bus: run under a bus of
// its own (dbus-run-session), a whole run through the real window, listened
// to as a dock or a task manager listens.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "clean/SharedStrings.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestSupport.h"
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

// Listens on a connection of its own, as another program on the bus would.
class LauncherListener : public QObject {
    Q_OBJECT

public:
    LauncherListener() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "launcher listener"))
    {
        connected_ = bus_.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", this,
                                  SLOT(Heard(QDBusMessage)));
    }
    ~LauncherListener() override { QDBusConnection::disconnectFromBus("launcher listener"); }

    bool Connected() const { return connected_; }
    std::vector<QString> uris;
    std::vector<LauncherState> states;

public slots:
    void Heard(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        uris.push_back(arguments.value(0).toString());
        const QVariantMap properties = qdbus_cast<QVariantMap>(arguments.value(1));
        states.push_back(properties.value("progress-visible").toBool()
                             ? LauncherState{properties.value("progress").toDouble()}
                             : LauncherState{});
    }

private:
    QDBusConnection bus_;
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
    QObject::connect(&form, &QWidget::windowTitleChanged, &form, [&](const QString& title) { titles.push_back(title); });

    QTest::mouseClick(Child<QWidget>(&form, "ClearDBButton"), Qt::LeftButton);
    // The last signal is on its way to the listener.
    QTest::qWait(500);

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
    EXPECT_EQ(listener.states, expected);
    ASSERT_FALSE(listener.states.empty());
    EXPECT_TRUE(std::any_of(listener.states.begin(), listener.states.end(),
                            [](const LauncherState& state) { return state.progress.value_or(0) > 0; }))
        << "a share was shown part way through a step";
    EXPECT_EQ(listener.states.back(), LauncherState{}) << "no bar once the run is over";
    for (const QString& uri : listener.uris)
        EXPECT_EQ(uri.toStdString(), "application://quenor-cleaner.desktop");
    DBFileName.clear();
}

}  // namespace

#include "LauncherProgressTest.moc"
