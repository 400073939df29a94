// Cleaning runs started with a mouse click in the real window, on real
// databases, with Debian's gbak found the way the tool finds it.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <qpa/qwindowsysteminterface.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/StandInFirebird.h"
#include "tests/support/TempDir.h"
#include "tests/support/RunSummary.h"
#include "tests/ui/WindowTestSupport.h"
#include "ui/FormDesign.h"
#include "ui/Main.h"

namespace {

const QColor Blue(0, 0, 255);
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

const std::vector<PaneLine> SuccessfulRunLines = {
    {"Сохранение оригинального файла БД (*.fdb -> *.bak)...", Blue},
    {"...Ok", Green},
    {"Удаление данных до выбранной даты...", Blue},
    {"...Ok", Green},
    {"Создание бэкапа файла БД (*.fdb -> *.fdk)...", Blue},
    {"...Ok", Green},
    {"Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...", Blue},
    {"...Ok", Green},
    {"", Green},
    {"Done!", Green},
};

// The files in `folder` this process still has open. A run that let go of
// its attachment leaves none, not even the database it deleted for the
// restore, which no longer shows at its path.
std::vector<std::string> OpenFilesIn(const std::string& folder)
{
    std::vector<std::string> open;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code failed;
        const std::string target = std::filesystem::read_symlink(entry.path(), failed).string();
        if (!failed && target.rfind(folder + "/", 0) == 0)
            open.push_back(target);
    }
    return open;
}

bool Exists(const std::string& path)
{
    return QFile::exists(QString::fromStdString(path));
}

class MainFormRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DBFileName.clear();
        database_ = dir_.File("MAIN.fdb");
        CreateFirebirdDatabase(database_, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff);
    }
    void TearDown() override
    {
        DBFileName.clear();
        while (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::restoreOverrideCursor();
    }

    // A window whose file dialog answers `file`, shown and with the file chosen.
    std::unique_ptr<TMainForm> OpenWindow(const std::string& file, TMainForm::RunFactory makeRun = nullptr)
    {
        auto form = std::make_unique<TMainForm>(
            nullptr, std::make_unique<ScriptedFileDialog>(std::deque<std::optional<QString>>{QString::fromStdString(file)}),
            std::move(makeRun));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QTest::mouseClick(Child<QWidget>(form.get(), "FileOpenButton"), Qt::LeftButton);
        // Whether the cursor was busy when the pane first reached each line count.
        const QTextEdit* pane = Child<QTextEdit>(form.get(), "TraceRichEdit");
        QObject::connect(pane->document(), &QTextDocument::contentsChanged, form.get(), [this, pane] {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busyAtLines_.emplace(PaneLines(*pane).size(), cursor != nullptr && cursor->shape() == Qt::WaitCursor);
        });
        return form;
    }

    static std::vector<PaneLine> Lines(const TMainForm& form)
    {
        return PaneLines(*Child<QTextEdit>(&form, "TraceRichEdit"));
    }
    // The lines of a run that ended with "Done!", its summary checked and
    // left out.
    static std::vector<PaneLine> DoneLines(const TMainForm& form)
    {
        return WithoutSummaryBy(Lines(form), [](const PaneLine& line) {
            return line.colour == QColor(0, 0, 0) ? line.text.toStdString() : "(not black) " + line.text.toStdString();
        });
    }

    TempDir dir_;
    std::string database_;
    std::map<std::size_t, bool> busyAtLines_;
};

TEST_F(MainFormRunTest, ClickCleansTheDatabaseAndReportsEveryStep)
{
    auto form = OpenWindow(database_);
    auto* correction = Child<QAbstractButton>(form.get(), "CorrectBDCheckBox");
    QTest::mouseClick(correction, Qt::LeftButton);
    ASSERT_TRUE(correction->isChecked());

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    EXPECT_EQ(DoneLines(*form), SuccessfulRunLines);
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM log"), 2);
    EXPECT_EQ(QueryInteger(database_, "SELECT MIN(id) FROM log"), 3);
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
    EXPECT_EQ(QueryInteger(dir_.File("MAIN.bak"), "SELECT COUNT(*) FROM log"), 4) << "the safety copy stays";
    EXPECT_TRUE(Exists(dir_.File("MAIN.fdk")));
    EXPECT_FALSE(correction->isChecked()) << "a successful restore clears the correction box";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    for (std::size_t lines = 1; lines <= 8; ++lines)
        EXPECT_TRUE(busyAtLines_[lines]) << "busy at line " << lines;
    EXPECT_EQ(OpenFilesIn(dir_.Path()), std::vector<std::string>{}) << "the run detached from the database";
}

// A server that holds the file for a while after the backup: the pane says
// what the run waits for, and the run goes on to "Done!" once the file is
// free.
TEST_F(MainFormRunTest, ARunWaitsForAServerThatStillHoldsTheFileAndSaysSo)
{
    TempDir installation;
    // Another process of its own session holds the file locked, as a
    // lingering server does, for two seconds after the real backup.
    const std::string firebird = StandInFirebird(installation.File("firebird"),
                                                 "if [ \"$1\" = -b ]; then\n"
                                                 "  /usr/bin/gbak \"$@\" || exit $?\n"
                                                 "  setsid flock -x \"$3\" sleep 2 </dev/null >/dev/null 2>&1 &\n"
                                                 "  while flock -n -x \"$3\" true; do sleep 0.05; done\n"
                                                 "  exit 0\n"
                                                 "fi\n"
                                                 "exec /usr/bin/gbak \"$@\"");
    auto files = platform::CreateFileSystem();
    auto processes = platform::CreateProcessRunner();
    auto form = OpenWindow(database_, [&](CleaningHost& host) {
        return std::make_unique<CleaningRun>(host, *files, *processes,
                                             FakeRegistryFactory(true, true, firebird + "/"));
    });

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    std::vector<PaneLine> expected = SuccessfulRunLines;
    expected.insert(expected.begin() + 6,
                    {"Файл БД ещё занят другим процессом, ожидание до 10 с...",
                     Blue});
    EXPECT_EQ(DoneLines(*form), expected);
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM log"), 2);
}

// The run's cut-off is the calendar's day, which the keyboard changes too:
// a day clicked and then moved on with the arrows must leave the label and
// the rows kept agreeing.
TEST_F(MainFormRunTest, RunAfterAKeyboardChangeKeepsExactlyTheRowsFromTheDayTheLabelShows)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    struct LocaleBack {
        ~LocaleBack() { QLocale::setDefault(QLocale::system()); }
    } localeBack;
    const std::string database = dir_.File("FEBRUARY.fdb");
    CreateFirebirdDatabase(database, std::string(QuenorLogTables) +
                                         "INSERT INTO log VALUES (1, '2000-02-14 12:00:00');\n"
                                         "INSERT INTO log VALUES (2, '2000-02-15 00:00:00');\n"
                                         "INSERT INTO log VALUES (3, '2000-02-16 23:59:59');\n"
                                         "INSERT INTO log VALUES (4, '2000-02-17 00:00:00');\n"
                                         "INSERT INTO log VALUES (5, '2000-02-17 23:59:59');\n"
                                         "INSERT INTO log VALUES (6, '2000-02-18 08:00:00');\n"
                                         "INSERT INTO ERRORS_LOG VALUES (1, '2000-02-16 12:00:00');\n"
                                         "INSERT INTO ERRORS_LOG VALUES (2, '2000-02-17 12:00:00');\n");
    auto form = OpenWindow(database);
    auto* view = Child<QTableView>(Child<QWidget>(form.get(), "MonthCalendar"), QString());
    QTest::keyClick(view, Qt::Key_PageDown);
    const QModelIndex day15 = DayCell(*view, 15);
    ASSERT_TRUE(day15.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(day15).center());
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QApplication::processEvents();
    const QString label = Child<QLabel>(form.get(), "DateTimeLabel")->text();
    ASSERT_EQ(label, "17.02.2000");

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    EXPECT_EQ(DoneLines(*form), SuccessfulRunLines);
    const std::string day = QDate::fromString(label, "dd.MM.yyyy").toString("yyyy-MM-dd").toStdString();
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log WHERE log_time < '" + day + "'"), 0);
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log WHERE CAST(log_time AS DATE) = '" + day + "'"), 2)
        << "the whole day the label shows stays";
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM log"), 3);
    EXPECT_EQ(QueryInteger(database, "SELECT MIN(id) FROM log"), 4);
    EXPECT_EQ(QueryInteger(database, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
    EXPECT_EQ(QueryInteger(database, "SELECT MIN(id) FROM ERRORS_LOG"), 2);
}

// Return and keypad Enter press the focused button, as Space does; the
// window has no default button, so pressed elsewhere they press nothing.
TEST_F(MainFormRunTest, ReturnAndEnterPressOnlyTheFocusedButton)
{
    const std::string missing = dir_.File("MISSING.fdb");
    const std::vector<PaneLine> failedRun = {{"Сохранение оригинального файла БД (*.fdb -> *.bak)...", Blue},
                                             {"Неудача...", Red},
                                             {"Причина: файл или папка не найдены.", Red}};
    const struct {
        const char* name;
        const char* focused;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int dialogs;  // file questions asked, the one that chose the file included
        bool ran;
    } rows[] = {
        {"Return on the file button", "FileOpenButton", Qt::Key_Return, Qt::NoModifier, 2, false},
        {"keypad Enter on the file button", "FileOpenButton", Qt::Key_Enter, Qt::KeypadModifier, 2, false},
        {"Return on the clear button", "ClearDBButton", Qt::Key_Return, Qt::NoModifier, 1, true},
        {"keypad Enter on the clear button", "ClearDBButton", Qt::Key_Enter, Qt::KeypadModifier, 1, true},
        {"Return on the correction box", "CorrectBDCheckBox", Qt::Key_Return, Qt::NoModifier, 1, false},
        {"keypad Enter in the edit", "FileNameLabeledEdit", Qt::Key_Enter, Qt::KeypadModifier, 1, false},
        {"Ctrl+Return on the clear button", "ClearDBButton", Qt::Key_Return, Qt::ControlModifier, 1, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString file = QString::fromStdString(missing);
        TMainForm form(nullptr, std::make_unique<ScriptedFileDialog>(std::deque<std::optional<QString>>{file, file}));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QApplication::setActiveWindow(&form);
        QTest::mouseClick(Child<QWidget>(&form, "FileOpenButton"), Qt::LeftButton);
        Child<QWidget>(&form, row.focused)->setFocus();
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        ASSERT_EQ(QApplication::focusWidget()->objectName(), row.focused);

        QTest::keyClick(QApplication::focusWidget(), row.key, row.modifiers);

        EXPECT_EQ(static_cast<ScriptedFileDialog*>(form.FileOpenDialog)->calls, row.dialogs);
        EXPECT_EQ(Lines(form), row.ran ? failedRun : std::vector<PaneLine>{});
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}

TEST_F(MainFormRunTest, MissingDatabaseFileEndsWithTheCopyFailure)
{
    const std::string missing = dir_.File("MISSING.fdb");
    auto form = OpenWindow(missing);
    auto* correction = Child<QAbstractButton>(form.get(), "CorrectBDCheckBox");
    QTest::mouseClick(correction, Qt::LeftButton);

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    const std::vector<PaneLine> expected = {{"Сохранение оригинального файла БД (*.fdb -> *.bak)...", Blue},
                                            {"Неудача...", Red},
                                            {"Причина: файл или папка не найдены.", Red}};
    EXPECT_EQ(Lines(*form), expected);
    EXPECT_FALSE(Exists(missing));
    EXPECT_FALSE(Exists(dir_.File("MISSING.bak")));
    EXPECT_TRUE(correction->isChecked()) << "a failed run leaves the correction box alone";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(busyAtLines_[1]);
    EXPECT_FALSE(busyAtLines_[2]) << "the cursor is back before the red line";
}

TEST_F(MainFormRunTest, ClicksOnTheButtonsDuringARunAreIgnored)
{
    auto form = OpenWindow(database_);
    auto* dialog = static_cast<ScriptedFileDialog*>(form->FileOpenDialog);
    // Handled inside the run's first line, as real clicks made then would be.
    QMetaObject::invokeMethod(
        form.get(),
        [&] {
            QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);
            QTest::mouseClick(Child<QWidget>(form.get(), "FileOpenButton"), Qt::LeftButton);
        },
        Qt::QueuedConnection);

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    EXPECT_EQ(DoneLines(*form), SuccessfulRunLines);
    EXPECT_EQ(dialog->calls, 1) << "no file dialog during the run";
    for (std::size_t lines = 1; lines <= 8; ++lines)
        EXPECT_TRUE(busyAtLines_[lines]) << "the ignored click left the cursor busy; line " << lines;
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Closing the window during a run asks whether to stop it. Asked, as the
// window manager asks, the moment a step shows in the caption: "stop" ends that step, puts the original back
// and closes the window; "continue" lets the run end with "Done!" and closes
// the window after it.
TEST_F(MainFormRunTest, ClosingTheWindowDuringARunAsksWhetherToStopIt)
{
    const PaneLine saving{"Сохранение оригинального файла БД (*.fdb -> *.bak)...", Blue};
    const PaneLine ok{"...Ok", Green};
    const PaneLine deleting{"Удаление данных до выбранной даты...", Blue};
    const PaneLine backingUp{"Создание бэкапа файла БД (*.fdb -> *.fdk)...", Blue};
    const PaneLine restoring{"Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...", Blue};
    const PaneLine stopped{"Очистка остановлена оператором.", Red};
    const QString path = QString::fromStdString(database_);
    const std::vector<PaneLine> backInPlace = {{"Оригинальный файл БД возвращён на место:", Red}, {path, Red}};
    const auto join = [](std::vector<PaneLine> head, const std::vector<PaneLine>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const struct {
        const char* name;
        const char* step;  // how the caption begins while the step runs
        bool stop;
        std::string extraSql;
        std::string gbakScript;  // empty: Debian's gbak
        std::vector<PaneLine> lines;
    } cases[] = {
        {"stop at the copy", "Сохранение копии:", true, "", "",
         {saving, stopped, {"Файл БД не изменён:", Red}, {path, Red}}},
        {"stop at the delete", "Удаление строк:", true, SlowLogDelete, "",
         join({saving, ok, deleting, stopped}, backInPlace)},
        {"stop at the backup", "Бэкап:", true, "", GbakSleepingAt("-b"),
         join({saving, ok, deleting, ok, backingUp, stopped}, backInPlace)},
        {"stop at the restore", "Восстановление:", true, "", GbakSleepingAt("-c"),
         join({saving, ok, deleting, ok, backingUp, ok, restoring, stopped}, backInPlace)},
        {"continue at the backup", "Бэкап:", false, "", "", SuccessfulRunLines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir installation;
        std::filesystem::remove(database_);
        CreateFirebirdDatabase(database_, std::string(QuenorLogTables) + RowsAroundTheFirstCutOff + c.extraSql);
        const std::string before = ReadFileBytes(database_);
        auto files = platform::CreateFileSystem();
        auto processes = platform::CreateProcessRunner();
        const InstallationFinder registry =
            c.gbakScript.empty()
                ? FakeRegistryFactory(true, true, "/usr/")
                : FakeRegistryFactory(true, true, StandInFirebird(installation.File("firebird"), c.gbakScript) + "/");
        auto form = OpenWindow(database_, [&](CleaningHost& host) {
            return std::make_unique<CleaningRun>(host, *files, *processes, registry);
        });
        bool asked = false;
        std::chrono::steady_clock::time_point askedAt;
        QString question;
        QObject::connect(form.get(), &QWidget::windowTitleChanged, form.get(), [&](const QString& title) {
            if (asked || !title.startsWith(QString::fromUtf8(c.step)))
                return;
            asked = true;
            askedAt = std::chrono::steady_clock::now();
            WhenModalOpens([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                ASSERT_NE(box, nullptr);
                question = box->text();
                EXPECT_EQ(box->defaultButton(), Child<QPushButton>(box, "Continue"));
                Child<QAbstractButton>(box, c.stop ? "Stop" : "Continue")->click();
            });
            // As the window manager's close box or Alt+F4 asks: queued, met
            // by whichever event processing comes next.
            QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                form->windowHandle());
        });
        QTimer::singleShot(0, form.get(),
                           [&] { QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton); });
        QTimer::singleShot(120000, [] { QApplication::exit(1); });  // a hung run fails instead of waiting forever

        EXPECT_EQ(QApplication::exec(), 0);

        // Timed from the question: a step that "stop" did not end would go
        // on for the minute gbak sleeps or the delete takes, while the work
        // before the question, which a busy machine slows most, is left out.
        EXPECT_LT(std::chrono::steady_clock::now() - askedAt, std::chrono::seconds(40)) << "the step was not ended";
        EXPECT_TRUE(asked);
        EXPECT_EQ(question.toStdString(), FormPresenter::StopQuestion);
        EXPECT_EQ(c.stop ? Lines(*form) : DoneLines(*form), c.lines);
        EXPECT_FALSE(form->isVisible()) << "the window closes once the run is over";
        EXPECT_EQ(form->windowTitle().toStdString(), form::Caption);
        if (c.stop) {
            EXPECT_TRUE(ReadFileBytes(database_) == before) << "the original is back byte for byte";
            EXPECT_FALSE(Exists(dir_.File("MAIN.bak")));
            EXPECT_FALSE(Exists(dir_.File("MAIN.fdk")));
        }
    }
}

// The real process runner, watched: how deeply its Run is entered and whether
// the run is inside it right now.
class WatchedProcesses : public platform::ProcessRunner {
public:
    platform::ProcessOutcome Run(const platform::CommandArguments& arguments,
                                 const platform::WhileWaiting& whileWaiting) override
    {
        ++depth;
        deepest = std::max(deepest, depth);
        const platform::ProcessOutcome outcome = real_->Run(arguments, whileWaiting);
        --depth;
        return outcome;
    }
    int depth = 0;
    int deepest = 0;

private:
    std::unique_ptr<platform::ProcessRunner> real_ = platform::CreateProcessRunner();
};

// A click as the window system delivers it: queued, handled by whichever
// event processing takes input next.
void QueueClick(QWidget* target)
{
    QWindow* window = target->window()->windowHandle();
    const QPointF local = target->mapTo(target->window(), QPointF(target->rect().center()));
    const QPointF global = target->mapToGlobal(QPointF(target->rect().center()));
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
        window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

// While gbak works on a large database the window goes on painting, but the
// operator's clicks wait for the run's next line: a tick on the correction box
// made during the backup reaches the restore, a click on the clear button
// starts nothing.
TEST_F(MainFormRunTest, WindowPaintsButTakesNoInputWhileGbakRuns)
{
    namespace fs = std::filesystem;
    const std::string installation = dir_.File("Firebird 3") + "/";
    const std::string gbak = installation + "bin/gbak";
    fs::create_directories(installation + "bin");
    fs::copy_file(STAND_IN_GBAK, gbak);
    // The backup lasts until the window has had six ticks during it,
    // however slowly a busy machine lets them come.
    std::ofstream(gbak + ".plan") << "await-ok\nslow-ok 900\n";

    auto files = platform::CreateFileSystem();
    WatchedProcesses processes;
    auto form = OpenWindow(database_, [&](CleaningHost& host) {
        return std::make_unique<CleaningRun>(host, *files, processes, FakeRegistryFactory(true, true, installation));
    });
    auto* correction = Child<QAbstractButton>(form.get(), "CorrectBDCheckBox");
    auto* clear = Child<QWidget>(form.get(), "ClearDBButton");
    auto* pane = Child<QTextEdit>(form.get(), "TraceRichEdit");

    struct PaintCounter : QObject {
        const WatchedProcesses* processes = nullptr;
        int paintsWhileWaiting = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && processes->depth > 0)
                ++paintsWhileWaiting;
            return false;
        }
    } paints;
    paints.processes = &processes;
    pane->viewport()->installEventFilter(&paints);

    std::vector<int> depthAtToggles;
    QObject::connect(correction, &QAbstractButton::toggled, form.get(),
                     [&] { depthAtToggles.push_back(processes.depth); });
    bool clicked = false;
    int ticks = 0;
    QTimer during;
    during.setInterval(50);
    QObject::connect(&during, &QTimer::timeout, form.get(), [&] {
        if (processes.depth == 0)
            return;
        if (++ticks == 6)
            std::ofstream(gbak + ".go").close();
        pane->viewport()->update();  // as an uncovered window asks for paint
        if (!clicked) {
            clicked = true;
            QueueClick(correction);
            QueueClick(clear);
        }
    });
    during.start();

    QTest::mouseClick(clear, Qt::LeftButton);
    during.stop();

    EXPECT_EQ(DoneLines(*form), SuccessfulRunLines);
    EXPECT_GT(ticks, 5) << "timers run while gbak runs";
    EXPECT_GT(paints.paintsWhileWaiting, 0) << "the window paints while gbak runs";
    EXPECT_EQ(depthAtToggles, (std::vector<int>{0, 0})) << "ticked between gbak's runs, cleared after the restore";
    EXPECT_EQ(processes.deepest, 1) << "no second run inside the first";
    std::ifstream log(gbak + ".log", std::ios::binary);
    std::vector<std::string> runs;
    for (std::string run; std::getline(log, run);)
        runs.push_back(run);
    ASSERT_EQ(runs.size(), 2u) << "one backup, one restore";
    EXPECT_NE(runs[1].find("-fix_fss_metadata"), std::string::npos) << "the tick made during the backup was read";
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM log"), 2);
}

TEST_F(MainFormRunTest, ErrorThatEscapesTheRunIsShownAndTheWindowStaysOpen)
{
    // A registry value of the wrong kind cannot be made on Linux; it is the
    // one error a run lets escape.
    auto files = platform::CreateFileSystem();
    auto processes = platform::CreateProcessRunner();
    auto form = OpenWindow(database_, [&](CleaningHost& host) {
        return std::make_unique<CleaningRun>(host, *files, *processes, FakeRegistryFactory(true, true, "", true));
    });
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });

    QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);

    EXPECT_EQ(text, "Invalid data type for 'DefaultInstance'");
    EXPECT_EQ(title, "ui_tests");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Exists(dir_.File("MAIN.bak"))) << "raised before the copy";
}

}  // namespace
