// Start-up of quenor-cleaner: the application, its one window, the message
// loop. The unit-level strings (clean/SharedStrings.h) are set up before main
// runs. Whatever happens, the program ends with exit code 0.
#include <QApplication>
#include <exception>
#include <memory>

#include "ui/ApplicationIcon.h"
#include "ui/ErrorDisplay.h"
#include "ui/Main.h"
#include "ui/StartUp.h"

int main(int argc, char* argv[])
{
    UseUtf8CharacterType();
    QApplication application(argc, argv);
    try {
        LoadToolkitTranslations(application);
        QApplication::setWindowIcon(ApplicationIcon());
        auto window = std::make_unique<TMainForm>();
        MainForm = window.get();
        window->show();
        QApplication::exec();
        MainForm = nullptr;
    } catch (...) {
        MainForm = nullptr;
        ShowError(nullptr, std::current_exception());
    }
    return 0;
}
