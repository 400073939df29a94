// The window as it opens and as it is resized, its calendar, its file
// question and its hidden skip box.
#include <QAbstractButton>
#include <QCalendarWidget>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QToolTip>
#include <gtest/gtest.h>

#include <cstdlib>

#include "clean/SharedStrings.h"
#include "tests/support/DesignedControls.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestSupport.h"
#include "ui/DateTimeCalendar.h"
#include "ui/Main.h"

namespace {

QRect RectOf(const designed::Control& control)
{
    return {control.left, control.top, control.width, control.height};
}

QString TextOf(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (const auto* pane = qobject_cast<const QTextEdit*>(widget))
        return pane->toPlainText();
    return {};
}

QRect InnerRect(const TMainForm& form, const char* name)
{
    const QWidget* panel = Child<QWidget>(&form, "Panel1");
    return Child<QWidget>(&form, name)->geometry().translated(-panel->contentsRect().topLeft());
}

bool WineTahomaInstalled()
{
    return QFile::exists("/usr/share/wine/fonts/tahoma.ttf") && QFile::exists("/usr/share/wine/fonts/tahomabd.ttf");
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { DBFileName.clear(); }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        DBFileName.clear();
    }

    void Show(TMainForm& form)
    {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
};

TEST_F(MainFormTest, OpensWithEveryControlAsDesigned)
{
    TMainForm form;
    Show(form);

    EXPECT_EQ(form.objectName(), "MainForm");
    EXPECT_EQ(form.windowTitle(), "Утилита очистки БД Quenor (версия 2.1)");
    EXPECT_EQ(form.size(), QSize(582, 344));
    const QWidget* panel = Child<QWidget>(&form, "Panel1");
    EXPECT_EQ(panel->geometry(), QRect(8, 8, 566, 328));
    EXPECT_EQ(panel->contentsRect().size(), QSize(562, 324)) << "2-pixel frame on every side";

    for (const designed::Control& control : designed::Controls) {
        SCOPED_TRACE(control.name);
        const QWidget* widget = Child<QWidget>(&form, control.name);
        EXPECT_EQ(widget->parentWidget(), panel);
        EXPECT_EQ(InnerRect(form, control.name), RectOf(control));
        if (control.text != nullptr) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(control.text));
        }
        EXPECT_EQ(widget->isVisible(), control.visible);
        EXPECT_TRUE(widget->isEnabled());

        const QFont font = widget->font();
        switch (control.font) {
        case designed::Font::Window:
        case designed::Font::Regular8pt:
            EXPECT_EQ(font.pixelSize(), 11);
            EXPECT_FALSE(font.bold());
            break;
        case designed::Font::Bold8pt:
            EXPECT_EQ(font.pixelSize(), 11);
            EXPECT_TRUE(font.bold());
            break;
        case designed::Font::BoldCell16:
            // Tahoma's cell is 2472/2048 of its characters' height.
            if (WineTahomaInstalled()) {
                EXPECT_EQ(font.pixelSize(), 13);
            }
            EXPECT_TRUE(font.bold());
            break;
        }
        if (WineTahomaInstalled()) {
            EXPECT_EQ(QFontInfo(font).family(), "Tahoma");
        }
    }
    EXPECT_FALSE(Child<QAbstractButton>(&form, "SkipCheckBox")->isChecked());
    EXPECT_FALSE(Child<QAbstractButton>(&form, "CorrectBDCheckBox")->isChecked());
    EXPECT_TRUE(Child<QLineEdit>(&form, "FileNameLabeledEdit")->isReadOnly());
    EXPECT_EQ(Child<QLabel>(&form, "DateTimeLabel")->palette().color(QPalette::Active, QPalette::WindowText),
              QColor(0, 0, 255));

    const QList<QSize> iconSizes = form.windowIcon().availableSizes();
    for (int size : {16, 24, 32, 48, 256})
        EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;
}

// How much black `text` puts on white in `font`: the sum of every pixel's
// darkness.
double Ink(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 8, metrics.height() + 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(4, 4 + metrics.ascent(), text);
    painter.end();
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(image.pixel(x, y));
    return ink;
}

// Each bold caption, drawn in its control's font, is visibly heavier than in
// the regular face (a bold face that only spaces its letters wider is not)
// and still fits the width its control was designed with.
TEST_F(MainFormTest, BoldCaptionsAreVisiblyBoldAndFitTheirBoxes)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    TMainForm form;
    Show(form);
    const struct {
        const char* control;
        QString caption;  // empty: the control's own text
        int room;         // width the caption may take: the box less its frame and margins
    } rows[] = {
        {"FileNameLabeledEditLabel", {}, 55},
        {"FileNameLabeledEdit", "/tmp/work/QUENOR.fdb", 389 - 8},
        {"FileOpenButton", {}, 49 - 8},
        {"CopyFromLabel", {}, 89},
        {"DateTimeLabel", {}, 113},
        {"SkipCheckBox", {}, 97 - 17},
        {"ClearDBButton", {}, 113 - 8},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        const QWidget* control = Child<QWidget>(&form, row.control);
        const QString caption = row.caption.isEmpty() ? TextOf(control) : row.caption;
        ASSERT_FALSE(caption.isEmpty());
        const QFont bold = control->font();
        ASSERT_TRUE(bold.bold());
        QFont regular = bold;
        regular.setBold(false);

        EXPECT_LE(QFontMetrics(bold).horizontalAdvance(caption), row.room) << caption.toStdString();
        EXPECT_GE(Ink(bold, caption), 1.25 * Ink(regular, caption)) << caption.toStdString();
    }
}

// How much darker than white the widget's own pixels are, drawn at the
// screen's scale: the sum of every device pixel's darkness.
double GrabbedInk(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(image.pixel(x, y));
    return ink;
}

void SetText(QWidget* widget, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
}

// The device pixels where `widget` looks different with `text` and without.
QRect TextPixels(QWidget* widget, const QString& text)
{
    SetText(widget, QString());
    const QImage without = widget->grab().toImage();
    SetText(widget, text);
    const QImage with = widget->grab().toImage();
    QRect changed;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, y) != without.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    return changed;
}

// QT_SCALE_FACTOR is read when the application starts, so each scale is a run
// of this test alone in a child of the test program; the child, seeing
// QUENOR_CAPTION_SCALE, checks the window at its scale. Xft.dpi 144 gives the
// same 1.5 through the desktop's setting.
TEST_F(MainFormTest, BoldCaptionsStayBoldAndInsideTheirBoxesAtEveryScale)
{
    const QByteArray childScale = qgetenv("QUENOR_CAPTION_SCALE");
    if (childScale.isEmpty()) {
        TempDir dir;
        for (const char* scale : {"1", "1.25", "1.5", "2"}) {
            SCOPED_TRACE(std::string("scale ") + scale);
            const std::string out = dir.File("out.txt");
            const QString command = QString("QT_SCALE_FACTOR=%1 QUENOR_CAPTION_SCALE=%1 '%2' "
                                            "--gtest_filter=MainFormTest.BoldCaptionsStayBoldAndInsideTheirBoxesAtEveryScale "
                                            "> '%3' 2>&1")
                                        .arg(scale, QCoreApplication::applicationFilePath(), QString::fromStdString(out));
            const int status = std::system(command.toLocal8Bit().constData());
            QFile output(QString::fromStdString(out));
            output.open(QIODevice::ReadOnly);
            EXPECT_EQ(status, 0) << output.readAll().toStdString();
        }
        return;
    }

    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    TMainForm form;
    Show(form);
    ASSERT_DOUBLE_EQ(form.devicePixelRatioF(), childScale.toDouble()) << "the window is drawn at the scale asked for";
    for (const char* name : {"FileNameLabeledEditLabel", "CopyFromLabel", "DateTimeLabel", "MonthCalendarToday",
                             "FileOpenButton", "ClearDBButton"}) {
        SCOPED_TRACE(name);
        QWidget* control = Child<QWidget>(&form, name);
        const QString caption = TextOf(control);
        ASSERT_FALSE(caption.isEmpty());
        const QFont bold = control->font();
        ASSERT_TRUE(bold.bold());
        QFont regular = bold;
        regular.setBold(false);

        // The caption's own ink: the control with it less the control without.
        SetText(control, QString());
        const double background = GrabbedInk(control);
        SetText(control, caption);
        const double boldInk = GrabbedInk(control) - background;
        control->setFont(regular);
        const double regularInk = GrabbedInk(control) - background;
        control->setFont(bold);
        EXPECT_GE(boldInk, 1.25 * regularInk) << caption.toStdString();

        // Inside the box: captions start at the box's left at every scale, so
        // one too wide for it has a pixel in its last column, where it is cut
        // off.
        const QRect text = TextPixels(control, caption);
        const QRect box(QPoint(0, 0), control->grab().size());
        ASSERT_FALSE(text.isEmpty());
        EXPECT_LT(text.right(), box.right())
            << caption.toStdString() << ": drawn over " << text.left() << ".." << text.right() << " x "
            << text.top() << ".." << text.bottom() << " in " << box.width() << " x " << box.height();
        // Nothing of it cut off: in a box with room to spare it has the same
        // extent of ink.
        const QSize size = control->size();
        control->resize(size + QSize(8, 8));
        const QRect free = TextPixels(control, caption);
        control->resize(size);
        EXPECT_EQ(text.size(), free.size()) << caption.toStdString() << ": cut off by its box";
        EXPECT_EQ(TextOf(control), caption);
    }

    // The trace pane's frame stays whole: its bottom and right lines are as
    // dark as its top and left ones, half-way along.
    QWidget* pane = Child<QWidget>(&form, "TraceRichEdit");
    const QImage frame = pane->grab().toImage();
    const int edge = static_cast<int>(std::ceil(2 * form.devicePixelRatioF()));
    const auto darkest = [&](bool rows, int from) {
        int found = 255;
        for (int at = from; at < from + edge; ++at) {
            const QRgb pixel = rows ? frame.pixel(frame.width() / 2, at) : frame.pixel(at, frame.height() / 2);
            found = std::min(found, qGray(pixel));
        }
        return found;
    };
    EXPECT_LE(darkest(true, frame.height() - edge), darkest(true, 0) + 16) << "the frame's bottom line is missing";
    EXPECT_LE(darkest(false, frame.width() - edge), darkest(false, 0) + 16) << "the frame's right line is missing";
}

TEST_F(MainFormTest, TabReachesTheControlsInDesignedOrderAndSkipsTheCalendar)
{
    TMainForm form;
    Show(form);
    QApplication::setActiveWindow(&form);
    Child<QWidget>(&form, "FileNameLabeledEdit")->setFocus();

    const char* const expected[] = {"FileOpenButton", "TraceRichEdit", "ClearDBButton", "CorrectBDCheckBox",
                                    "FileNameLabeledEdit"};
    for (const char* name : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
    }
}

TEST_F(MainFormTest, DateLabelShowsTheFirstOfJanuary2000InTheShortDateFormat)
{
    struct Row {
        const char* name;
        QLocale locale;
        const char* label;
    };
    const Row rows[] = {
        {"Russian", QLocale(QLocale::Russian, QLocale::Russia), "01.01.2000"},
        // The locales' own short formats have a two-digit year; the label
        // always shows four, as the cut-off must not be ambiguous.
        {"US English", QLocale(QLocale::English, QLocale::UnitedStates), "1/1/2000"},
        {"British English", QLocale(QLocale::English, QLocale::UnitedKingdom), "01/01/2000"},
        {"German", QLocale(QLocale::German, QLocale::Germany), "01.01.2000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QLocale::setDefault(row.locale);
        TMainForm form;
        EXPECT_EQ(Child<QLabel>(&form, "DateTimeLabel")->text(), row.label);

        // The start of the day, whatever the time the window opened at: the
        // run keeps every row of the day the label shows.
        EXPECT_EQ(form.CalendarValue(), (TDateTime{2000, 1, 1, 0, 0, 0, 0}));
        const auto* grid = Child<QCalendarWidget>(&form, "MonthCalendarGrid");
        EXPECT_EQ(grid->monthShown(), 1);
        EXPECT_EQ(grid->yearShown(), 2000);
        EXPECT_EQ(grid->firstDayOfWeek(), row.locale.firstDayOfWeek());
    }
}

TEST_F(MainFormTest, ResizingMovesAndStretchesOnlyTheAnchoredControls)
{
    TMainForm form;
    Show(form);
    form.resize(582 + 100, 344 + 60);
    QApplication::processEvents();

    EXPECT_EQ(Child<QWidget>(&form, "Panel1")->geometry(), QRect(8, 8, 666, 388));
    const struct {
        const char* name;
        QRect rect;
    } expected[] = {
        {"FileNameLabeledEdit", {80, 16, 489, 21}},
        {"FileNameLabeledEditLabel", {15, 20, 55, 13}},
        {"FileOpenButton", {592, 14, 49, 25}},
        {"CopyFromLabel", {16, 64, 89, 13}},
        {"DateTimeLabel", {128, 58, 113, 25}},
        {"SkipCheckBox", {267, 63, 97, 17}},
        {"TraceRichEdit", {16, 104, 448, 160}},
        {"MonthCalendar", {470, 104, 191, 160}},
        {"ClearDBButton", {32, 275, 113, 35}},
        {"CorrectBDCheckBox", {192, 285, 97, 17}},
    };
    for (const auto& control : expected) {
        SCOPED_TRACE(control.name);
        EXPECT_EQ(InnerRect(form, control.name), control.rect);
    }

    form.resize(582, 344);
    QApplication::processEvents();
    for (const designed::Control& control : designed::Controls) {
        SCOPED_TRACE(std::string("back to designed size: ") + control.name);
        EXPECT_EQ(InnerRect(form, control.name), RectOf(control));
    }
}

// The run reads the calendar, so whatever changes its day the label must
// say the same day: a click, the keyboard's arrows and pages, the month
// arrows, the footer. Each step starts from where the one before it left.
TEST_F(MainFormTest, EveryChangeOfTheCalendarsDayRefreshesTheDateLabel)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    TMainForm form;
    Show(form);
    auto* view = Child<QTableView>(Child<QWidget>(&form, "MonthCalendar"), QString());
    auto* label = Child<QLabel>(&form, "DateTimeLabel");
    const QDate today = QDate::currentDate();
    const struct {
        const char* name;
        Qt::Key key;        // pressed on the day grid; Qt::Key_unknown: a click
        const char* click;  // what is clicked: the 15th of the month shown, or a part's object name
        QDate picked;
    } steps[] = {
        {"the 15th clicked", Qt::Key_unknown, "15", {2000, 1, 15}},
        {"right arrow", Qt::Key_Right, nullptr, {2000, 1, 16}},
        {"right arrow again", Qt::Key_Right, nullptr, {2000, 1, 17}},
        {"down arrow", Qt::Key_Down, nullptr, {2000, 1, 24}},
        {"left arrow", Qt::Key_Left, nullptr, {2000, 1, 23}},
        {"up arrow", Qt::Key_Up, nullptr, {2000, 1, 16}},
        {"page down", Qt::Key_PageDown, nullptr, {2000, 2, 16}},
        {"page down into a shorter month", Qt::Key_PageDown, nullptr, {2000, 3, 16}},
        {"page up", Qt::Key_PageUp, nullptr, {2000, 2, 16}},
        {"next month arrow", Qt::Key_unknown, "qt_calendar_nextmonth", {2000, 3, 16}},
        {"today in the footer", Qt::Key_unknown, "MonthCalendarToday", today},
        {"left arrow from today", Qt::Key_Left, nullptr, today.addDays(-1)},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.key != Qt::Key_unknown) {
            QTest::keyClick(view, step.key);
        } else if (QString(step.click) == "15") {
            const QModelIndex day15 = DayCell(*view, 15);
            ASSERT_TRUE(day15.isValid());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(day15).center());
        } else {
            QTest::mouseClick(Child<QWidget>(&form, step.click), Qt::LeftButton);
        }
        QApplication::processEvents();

        EXPECT_EQ(form.MonthCalendar->Date(), step.picked);
        EXPECT_EQ(label->text(), step.picked.toString("dd.MM.yyyy"));
        EXPECT_EQ(form.CalendarValue(), (TDateTime{step.picked.year(), step.picked.month(), step.picked.day(), 0, 0, 0, 0}))
            << "the start of the day the label shows";
    }
}

// Every click on the calendar refreshes the label, not only one on a day:
// the month arrows move the pick to the same day of the next or previous
// month (the last day where the month is shorter), the footer picks today.
TEST_F(MainFormTest, ClicksOnTheMonthArrowsAndTheFooterRefreshTheDateLabel)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QDate today = QDate::currentDate();
    const struct {
        const char* name;
        QDate start;
        const char* clicked;  // object name of the part clicked
        QDate picked;
    } rows[] = {
        {"next month", {2000, 1, 15}, "qt_calendar_nextmonth", {2000, 2, 15}},
        {"next month, shorter", {2000, 1, 31}, "qt_calendar_nextmonth", {2000, 2, 29}},
        {"previous month, across the year", {2000, 1, 10}, "qt_calendar_prevmonth", {1999, 12, 10}},
        {"today in the footer", {2000, 1, 1}, "MonthCalendarToday", today},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TMainForm form;
        Show(form);
        form.MonthCalendar->SetDate(row.start);
        auto* label = Child<QLabel>(&form, "DateTimeLabel");
        const QString before = label->text();

        QTest::mouseClick(Child<QWidget>(&form, row.clicked), Qt::LeftButton);
        QApplication::processEvents();

        EXPECT_EQ(form.MonthCalendar->Date(), row.picked);
        EXPECT_EQ(label->text(), row.picked.toString("dd.MM.yyyy")) << "was " << before.toStdString();
        EXPECT_EQ(form.CalendarValue(), (TDateTime{row.picked.year(), row.picked.month(), row.picked.day(), 0, 0, 0, 0}));
    }
}

TEST_F(MainFormTest, CalendarFooterSpeaksTheLocalesLanguage)
{
    const QDate today = QDate::currentDate();
    const struct {
        const char* name;
        QLocale locale;
        QString footer;
    } rows[] = {
        {"Russian", QLocale(QLocale::Russian, QLocale::Russia), "Сегодня: " + today.toString("dd.MM.yyyy")},
        {"US English", QLocale(QLocale::English, QLocale::UnitedStates), "Today: " + today.toString("M/d/yyyy")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QLocale::setDefault(row.locale);
        TMainForm form;
        EXPECT_EQ(Child<QLabel>(&form, "MonthCalendarToday")->text(), row.footer);
    }
}

TEST_F(MainFormTest, ConfirmedFileClearsThePaneAndSetsNameAndEdit)
{
    const QString chosen = QStringLiteral("/srv/база данных/MAIN.fdb");
    auto* dialog = new ScriptedFileDialog({chosen, std::nullopt, chosen});
    TMainForm form(nullptr, std::unique_ptr<FileNameDialog>(dialog));
    Show(form);
    auto* pane = Child<QTextEdit>(&form, "TraceRichEdit");
    auto* edit = Child<QLineEdit>(&form, "FileNameLabeledEdit");
    auto* button = Child<QWidget>(&form, "FileOpenButton");

    form.Trace("строка прошлого прогона", clRed);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(pane->toPlainText(), "");
    EXPECT_EQ(DBFileName, chosen.toLocal8Bit().toStdString());
    EXPECT_EQ(edit->text(), chosen);
    EXPECT_EQ(form.DatabasePathText(), DBFileName);

    form.Trace("строка", clGreen);
    QTest::mouseClick(button, Qt::LeftButton);  // cancelled
    EXPECT_EQ(pane->toPlainText(), "строка\n");
    EXPECT_EQ(DBFileName, chosen.toLocal8Bit().toStdString());
    EXPECT_EQ(edit->text(), chosen);

    QTest::mouseClick(button, Qt::LeftButton);  // the same file again
    EXPECT_EQ(pane->toPlainText(), "");
    EXPECT_EQ(dialog->calls, 3);
}

// Where the file lies is said by the start of its path: a path longer than
// the edit is shown from its start, as the platform's edit does.
TEST_F(MainFormTest, EditShowsTheStartOfALongPath)
{
    const QString chosen = "/srv/" + QString("очень длинная папка/").repeated(8) + "MAIN.fdb";
    TMainForm form(nullptr, std::make_unique<ScriptedFileDialog>(std::deque<std::optional<QString>>{chosen}));
    Show(form);
    auto* edit = Child<QLineEdit>(&form, "FileNameLabeledEdit");
    QTest::mouseClick(Child<QWidget>(&form, "FileOpenButton"), Qt::LeftButton);
    ASSERT_GT(edit->fontMetrics().horizontalAdvance(chosen), 2 * edit->width());

    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_LT(edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), edit->width() / 4) << "the text is scrolled to its start";
}

// The edit cuts off a long path at its end; hovering shows all of it, and
// with no file chosen there is nothing to show.
TEST_F(MainFormTest, HoveringTheEditShowsTheWholePath)
{
    const QString chosen = "/srv/firebird/" + QString("архив за год/").repeated(9) + "QUENOR.fdb";
    ASSERT_EQ(chosen.size(), 141);
    TMainForm form(nullptr, std::make_unique<ScriptedFileDialog>(std::deque<std::optional<QString>>{chosen}));
    Show(form);
    auto* edit = Child<QLineEdit>(&form, "FileNameLabeledEdit");
    const auto hover = [edit] {
        QToolTip::hideText();
        const QPoint at = edit->rect().center();
        QTest::mouseMove(edit, at);
        QHelpEvent help(QEvent::ToolTip, at, edit->mapToGlobal(at));
        QApplication::sendEvent(edit, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };

    EXPECT_EQ(hover(), "") << "no file chosen yet";
    QTest::mouseClick(Child<QWidget>(&form, "FileOpenButton"), Qt::LeftButton);
    ASSERT_GT(edit->fontMetrics().horizontalAdvance(chosen), edit->width()) << "the path is cut off in the edit";
    EXPECT_EQ(hover(), chosen);
    QToolTip::hideText();
}

TEST_F(MainFormTest, PlatformDialogOffersDatabaseFilesAcceptsNewNamesAndRemembersTheLastOne)
{
    TempDir dir;
    OpenFileDialog dialog;
    QStringList filters;
    QString suffix;
    WhenModalOpens([&](QWidget* modal) {
        auto* fileDialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(fileDialog, nullptr);
        filters = fileDialog->nameFilters();
        suffix = fileDialog->defaultSuffix();
        fileDialog->setDirectory(QString::fromStdString(dir.Path()));
        fileDialog->selectFile("new");
        static_cast<QDialog*>(fileDialog)->accept();
    });
    const std::optional<QString> chosen = dialog.Choose(nullptr, "Database files (*.fdb)|*.fdb", "*.fdb");
    EXPECT_EQ(filters, QStringList{"Database files (*.fdb)"});
    EXPECT_EQ(suffix, "fdb");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QString::fromStdString(dir.File("new.fdb"))) << "a file that does not exist is accepted";

    QStringList offered;
    WhenModalOpens([&](QWidget* modal) {
        auto* fileDialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(fileDialog, nullptr);
        offered = fileDialog->selectedFiles();
        fileDialog->reject();
    });
    EXPECT_EQ(dialog.Choose(nullptr, "Database files (*.fdb)|*.fdb", "*.fdb"), std::nullopt);
    EXPECT_EQ(offered, QStringList{QString::fromStdString(dir.File("new.fdb"))});
}

// Qt's dialog reads text with double quotes as a list of quoted names, so
// 'Папка с "кавычками"/База.fdb' chose "кавычками.fdb" instead. A typed name
// is one name: the file typed is the file chosen, and it is offered next time.
TEST_F(MainFormTest, TypedNameWithDoubleQuotesChoosesExactlyThatFile)
{
    TempDir dir;
    const QString root = QString::fromStdString(dir.Path());
    const QString quoted = root + "/Папка с \"кавычками\"";
    ASSERT_TRUE(QDir().mkpath(quoted));
    const struct {
        const char* name;
        QStringList typed;  // each followed by Enter, in the dialog opened on `root`
        QString chosen;
    } rows[] = {
        {"absolute path through a quoted folder", {quoted + "/База.fdb"}, quoted + "/База.fdb"},
        {"without an extension", {quoted + "/База"}, quoted + "/База.fdb"},
        {"name relative to the folder shown", {"\"кавычки\" в имени.fdb"}, root + "/\"кавычки\" в имени.fdb"},
        {"a quoted folder is entered, then a name chosen in it",
         {"Папка с \"кавычками\"", "new.fdb"}, quoted + "/new.fdb"},
        {"a name without quotes", {"plain"}, root + "/plain.fdb"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OpenFileDialog dialog;
        WhenModalOpens([&](QWidget* modal) {
            auto* fileDialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(fileDialog, nullptr);
            fileDialog->setDirectory(root);
            auto* nameEdit = Child<QLineEdit>(fileDialog, "fileNameEdit");
            for (const QString& text : row.typed) {
                nameEdit->setText(text);
                QTest::keyClick(nameEdit, Qt::Key_Return);
            }
        });
        EXPECT_EQ(dialog.Choose(nullptr, "Database files (*.fdb)|*.fdb", "*.fdb"), row.chosen);

        // Offered again: Enter alone chooses the same file.
        WhenModalOpens([&](QWidget* modal) {
            QTest::keyClick(Child<QLineEdit>(modal, "fileNameEdit"), Qt::Key_Return);
        });
        EXPECT_EQ(dialog.Choose(nullptr, "Database files (*.fdb)|*.fdb", "*.fdb"), row.chosen) << "offered again";
    }
}

TEST_F(MainFormTest, SkipBoxGreysTheDateAndHidesTheCalendarWhileTicked)
{
    TMainForm form;
    Show(form);
    auto* skip = Child<QAbstractButton>(&form, "SkipCheckBox");
    struct Row {
        const char* name;
        bool ticked;
    };
    for (const Row& row : {Row{"ticked", true}, Row{"cleared again", false}}) {
        SCOPED_TRACE(row.name);
        skip->click();
        EXPECT_EQ(form.SkipChecked(), row.ticked);
        EXPECT_EQ(Child<QWidget>(&form, "CopyFromLabel")->isEnabled(), !row.ticked);
        EXPECT_EQ(Child<QWidget>(&form, "DateTimeLabel")->isEnabled(), !row.ticked);
        EXPECT_EQ(Child<QWidget>(&form, "MonthCalendar")->isVisible(), !row.ticked);
    }
}

}  // namespace
