// Draws the README's picture: the real window, started as the program starts
// it, after a whole cleaning run on the database named by argv[1] with the
// cut-off 15 March 2000; saves it as the PNG named by argv[2].
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <cstdio>
#include <memory>

#include "ui/ApplicationIcon.h"
#include "ui/DateTimeCalendar.h"
#include "ui/FileNameDialog.h"
#include "ui/Main.h"
#include "ui/StartUp.h"

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DATABASE.fdb PICTURE.png\n", argv[0]);
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
    form.ClearDBButton->click();
    QApplication::processEvents();

    const bool onScreen = QGuiApplication::platformName() == QLatin1String("xcb");
    const QPixmap picture = onScreen ? form.screen()->grabWindow(form.winId()) : form.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
