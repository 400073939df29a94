// The real start-up of quenor-cleaner, run by the tests as a child process:
//
//   quenor_application_driver [<database> [<client library>]]
//
// Prints "shown" once the window is up. With a database, then puts its path
// into the window as the file dialog would, clicks "Очистить", prints every
// line of the trace pane as "line: <text>" and "run over" once the click has
// returned. With a client library, the run loads that one instead of the
// platform's. Output is flushed line by line so that a test can act on it.
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTextEdit>
#include <cstdio>
#include <memory>
#include <string>

#include "app/Application.h"
#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "platform/FileSystem.h"
#include "platform/ProcessRunner.h"
#include "ui/TracePane.h"

namespace {

void Print(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void CleanDatabase(TMainForm& window, const std::string& database)
{
    DBFileName = database;
    window.FileNameLabeledEdit->setText(QString::fromLocal8Bit(database));
    window.ClearDBButton->click();
    QStringList lines = window.TraceRichEdit->toPlainText().split(QLatin1Char('\n'));
    // The pane ends every line, the last one included, with a break.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (const QString& line : lines)
        Print("line: " + line.toStdString());
    Print("run over");
}

}  // namespace

int main(int argc, char* argv[])
{
    const std::string database = argc > 1 ? argv[1] : "";
    const std::string clientLibrary = argc > 2 ? argv[2] : "";

    // They outlive the window, whose run uses them.
    const std::unique_ptr<platform::FileSystem> files = platform::CreateFileSystem();
    const std::unique_ptr<platform::ProcessRunner> processes = platform::CreateProcessRunner();

    ApplicationHooks hooks;
    if (!clientLibrary.empty()) {
        hooks.makeRun = [&](CleaningHost& host) {
            return std::make_unique<CleaningRun>(host, *files, *processes, PlatformInstallationFinder(),
                                                 std::vector<std::string>{clientLibrary});
        };
    }
    hooks.whenShown = [&database](TMainForm& window) {
        Print("shown");
        if (!database.empty())
            CleanDatabase(window, database);
    };
    int applicationArgc = 1;
    return RunApplication(applicationArgc, argv, std::move(hooks));
}
