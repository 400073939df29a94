#include "app/Application.h"

#include <QApplication>
#include <QMetaObject>
#include <exception>
#include <memory>

#include "app/CloseOnRequest.h"
#include "ui/ApplicationIcon.h"
#include "ui/ApplicationId.h"
#include "ui/ErrorDisplay.h"
#include "ui/StartUp.h"

int RunApplication(int argc, char** argv, ApplicationHooks hooks)
{
    // Before the toolkit and the Firebird client start their threads, so that
    // every thread inherits the blocked signals.
    const std::unique_ptr<platform::ShutdownSignals> requests = platform::CatchShutdownSignals();
    // Paths reach the Firebird client in the bytes the file system uses,
    // whatever the locale.
    UseUtf8CharacterType();

    QApplication application(argc, argv);
    // The installed desktop entry's name: a Wayland desktop finds the
    // window's icon and name through it.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(ApplicationId));
    try {
        LoadToolkitTranslations(application);
        QApplication::setWindowIcon(ApplicationIcon());
        auto window = std::make_unique<TMainForm>(nullptr, nullptr, std::move(hooks.makeRun));
        MainForm = window.get();
        // A request that came before this point is waiting and is seen as soon
        // as the event loop runs.
        const CloseOnRequest closer(*requests, *window);
        window->show();
        if (hooks.whenShown) {
            QMetaObject::invokeMethod(
                window.get(), [&hooks, &window] { hooks.whenShown(*window); }, Qt::QueuedConnection);
        }
        QApplication::exec();
        MainForm = nullptr;
    } catch (...) {
        MainForm = nullptr;
        ShowError(nullptr, std::current_exception());
    }
    return 0;
}
