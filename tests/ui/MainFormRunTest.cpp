// Cleaning runs started with a mouse click in the real window, on real
// databases, with Debian's gbak found the way the tool finds it.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "tests/support/FakeRegistry.h"
#include "tests/support/FirebirdTestDatabase.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestSupport.h"
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

// Rows on both sides of the calendar's first value, 1 January 2000.
const char* const LogRows =
    "INSERT INTO log VALUES (1, '1999-03-01 10:00:00');\n"
    "INSERT INTO log VALUES (2, '1999-12-31 23:59:59');\n"
    "INSERT INTO log VALUES (3, '2000-01-02 08:00:00');\n"
    "INSERT INTO log VALUES (4, '2024-06-30 12:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (1, '1998-07-15 00:00:00');\n"
    "INSERT INTO ERRORS_LOG VALUES (2, '2001-01-01 00:00:00');\n";

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
        CreateFirebirdDatabase(database_, std::string(QuenorLogTables) + LogRows);
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

    EXPECT_EQ(Lines(*form), SuccessfulRunLines);
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM log"), 2);
    EXPECT_EQ(QueryInteger(database_, "SELECT MIN(id) FROM log"), 3);
    EXPECT_EQ(QueryInteger(database_, "SELECT COUNT(*) FROM ERRORS_LOG"), 1);
    EXPECT_EQ(QueryInteger(dir_.File("MAIN.bak"), "SELECT COUNT(*) FROM log"), 4) << "the safety copy stays";
    EXPECT_TRUE(Exists(dir_.File("MAIN.fdk")));
    EXPECT_FALSE(correction->isChecked()) << "a successful restore clears the correction box";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    for (std::size_t lines = 1; lines <= 8; ++lines)
        EXPECT_TRUE(busyAtLines_[lines]) << "busy at line " << lines;
    EXPECT_FALSE(form->Run().Stage().Database);
    EXPECT_FALSE(form->Run().Stage().Transaction);
    EXPECT_FALSE(form->Run().Stage().Sql);

    // The picture of the window after a successful run, for the README.
    if (const char* folder = std::getenv("QUENOR_TEST_BINARY_DIR")) {
        const QString file = QString::fromLocal8Bit(folder) + "/window.png";
        const bool onScreen = QGuiApplication::platformName() == "xcb";
        const QPixmap picture = onScreen ? form->screen()->grabWindow(form->winId()) : form->grab();
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
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

    EXPECT_EQ(Lines(*form), SuccessfulRunLines);
    EXPECT_EQ(dialog->calls, 1) << "no file dialog during the run";
    for (std::size_t lines = 1; lines <= 8; ++lines)
        EXPECT_TRUE(busyAtLines_[lines]) << "the ignored click left the cursor busy; line " << lines;
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainFormRunTest, ClosingTheWindowDuringARunEndsTheProgramAfterTheRun)
{
    auto form = OpenWindow(database_);
    bool visibleAfterCloseRequest = false;
    std::size_t linesWhenClosed = 0;
    QTimer::singleShot(0, form.get(), [&] {
        QMetaObject::invokeMethod(
            form.get(),
            [&] {
                form->close();
                visibleAfterCloseRequest = form->isVisible();
                linesWhenClosed = Lines(*form).size();
            },
            Qt::QueuedConnection);
        QTest::mouseClick(Child<QWidget>(form.get(), "ClearDBButton"), Qt::LeftButton);
    });
    QTimer::singleShot(120000, [] { QApplication::exit(1); });  // a hung run fails instead of waiting forever

    EXPECT_EQ(QApplication::exec(), 0);

    EXPECT_TRUE(visibleAfterCloseRequest);
    EXPECT_LT(linesWhenClosed, SuccessfulRunLines.size());
    EXPECT_EQ(Lines(*form), SuccessfulRunLines) << "the run went on to its end";
    EXPECT_FALSE(form->isVisible());
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
    EXPECT_TRUE(Exists(dir_.File("MAIN.bak")));
}

}  // namespace
