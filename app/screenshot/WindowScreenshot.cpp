// Draws the README's pictures: the real window, started as the program
// starts it, after a whole cleaning run on the database named by argv[1] with
// the cut-off 15 March 2000, saved as the PNG named by argv[2]; or, with
// --during-backup, the window with its frame while gbak's backup is a third
// done, its progress in the caption.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "ui/ApplicationIcon.h"
#include "ui/DateTimeCalendar.h"
#include "ui/FileNameDialog.h"
#include "ui/Main.h"
#include "ui/StartUp.h"

int main(int argc, char* argv[])
{
    const bool duringBackup = argc == 4 && std::string(argv[3]) == "--during-backup";
    if (argc != 3 && !duringBackup) {
        std::fprintf(stderr, "usage: %s DATABASE.fdb PICTURE.png [--during-backup]\n", argv[0]);
        return 2;
    }
    UseUtf8CharacterType();
    QApplication application(argc, argv);
    LoadToolkitTranslations(application);
    QApplication::setWindowIcon(ApplicationIcon());
    TMainForm form(nullptr, std::make_unique<GivenFileDialog>(QString::fromLocal8Bit(argv[1])));
    form.show();
    form.FileOpenButton->click();
    form.MonthCalendar->SetDate(QDate(2000, 3, 15));
    form.MonthCalendarClick(form.MonthCalendar);
    const bool onScreen = QGuiApplication::platformName() == QLatin1String("xcb");
    const QString path = QString::fromLocal8Bit(argv[2]);
    bool saved = false;
    if (duringBackup) {
        // Checked while the run keeps the window alive; the frame is taken
        // from the screen, with the window manager's title bar.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &form, [&] {
            const QRegularExpressionMatch share = QRegularExpression("^Бэкап: (\\d+)%").match(form.windowTitle());
            if (saved || !share.hasMatch() || share.captured(1).toInt() < 30)
                return;
            const QRect frame = form.frameGeometry();
            saved = form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path);
        });
        watch.start(20);
        form.ClearDBButton->click();
    } else {
        form.ClearDBButton->click();
        QApplication::processEvents();
        const QPixmap picture = onScreen ? form.screen()->grabWindow(form.winId()) : form.grab();
        saved = picture.save(path);
    }
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
