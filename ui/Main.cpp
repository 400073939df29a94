#include "ui/Main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "ui/AnchorLayout.h"
#include "ui/ApplicationIcon.h"
#include "ui/DateTimeCalendar.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileNameDialog.h"
#include "ui/TracePane.h"
#include "ui/WindowFonts.h"

TMainForm* MainForm = nullptr;

namespace {

// Sizes in pixels at 96 dpi, as the window was designed.
constexpr QSize ClientSize(582, 344);
constexpr QRect Panel1Rect(8, 8, 566, 328);
constexpr int Panel1Frame = 2;  // etched frame: a sunken and a raised line

const char* const DatabaseFileFilter = "Database files (*.fdb)|*.fdb";
const char* const DatabaseFileExt = "*.fdb";

QColor Blue()
{
    return TracePane::ScreenColour(clBlue);
}

}  // namespace

TMainForm::TMainForm(QWidget* owner, std::unique_ptr<FileNameDialog> dialog, RunFactory makeRun)
    : QWidget(owner, Qt::Window),
      FileOpenDialog(nullptr),
      fileDialog_(dialog ? std::move(dialog) : std::make_unique<OpenFileDialog>()),
      run_(makeRun ? makeRun(*this) : std::make_unique<CleaningRun>(*this))
{
    FileOpenDialog = fileDialog_.get();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Утилита очистки БД Quenor (версия 2.1)"));
    setWindowIcon(ApplicationIcon());
    const QFont windowFont = CharacterHeightFont(11, false);
    const QFont boldFont = CharacterHeightFont(11, true);
    const QFont largeBoldFont = CellHeightFont(16, true);
    setFont(windowFont);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(0);
    auto* windowLayout = new AnchorLayout(this, ClientSize);
    windowLayout->AddWidget(Panel1, Panel1Rect, akLeft | akTop | akRight | akBottom);

    const QSize innerArea = Panel1Rect.size() - QSize(2 * Panel1Frame, 2 * Panel1Frame);
    auto* panelLayout = new AnchorLayout(Panel1, innerArea);

    FileNameLabeledEdit = new QLineEdit(Panel1);
    FileNameLabeledEdit->setObjectName(QStringLiteral("FileNameLabeledEdit"));
    FileNameLabeledEdit->setReadOnly(true);
    FileNameLabeledEdit->setFont(boldFont);
    panelLayout->AddWidget(FileNameLabeledEdit, QRect(80, 16, 389, 21), akLeft | akTop | akRight);

    FileNameLabeledEditLabel = new QLabel(QStringLiteral("Файл БД :"), Panel1);
    FileNameLabeledEditLabel->setObjectName(QStringLiteral("FileNameLabeledEditLabel"));
    FileNameLabeledEditLabel->setFont(boldFont);
    FileNameLabeledEditLabel->setBuddy(FileNameLabeledEdit);
    panelLayout->AddWidget(FileNameLabeledEditLabel, QRect(15, 20, 55, 13), akLeft | akTop);

    FileOpenButton = new QPushButton(QStringLiteral("..."), Panel1);
    FileOpenButton->setObjectName(QStringLiteral("FileOpenButton"));
    FileOpenButton->setFont(largeBoldFont);
    panelLayout->AddWidget(FileOpenButton, QRect(492, 14, 49, 25), akTop | akRight);

    CopyFromLabel = new QLabel(QStringLiteral("Копировать от:"), Panel1);
    CopyFromLabel->setObjectName(QStringLiteral("CopyFromLabel"));
    CopyFromLabel->setFont(boldFont);
    panelLayout->AddWidget(CopyFromLabel, QRect(16, 64, 89, 13), akLeft | akTop);

    DateTimeLabel = new QLabel(Panel1);
    DateTimeLabel->setObjectName(QStringLiteral("DateTimeLabel"));
    DateTimeLabel->setFont(largeBoldFont);
    DateTimeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette blueText = DateTimeLabel->palette();
    blueText.setColor(QPalette::Active, QPalette::WindowText, Blue());
    blueText.setColor(QPalette::Inactive, QPalette::WindowText, Blue());
    DateTimeLabel->setPalette(blueText);
    panelLayout->AddWidget(DateTimeLabel, QRect(128, 58, 113, 25), akLeft | akTop);

    SkipCheckBox = new QCheckBox(QStringLiteral("пропустить"), Panel1);
    SkipCheckBox->setObjectName(QStringLiteral("SkipCheckBox"));
    SkipCheckBox->setFont(boldFont);
    SkipCheckBox->setVisible(false);
    panelLayout->AddWidget(SkipCheckBox, QRect(267, 63, 97, 17), akLeft | akTop);

    TraceRichEdit = new TracePane(Panel1);
    TraceRichEdit->setObjectName(QStringLiteral("TraceRichEdit"));
    TraceRichEdit->setFont(windowFont);
    TraceRichEdit->setTabChangesFocus(true);
    panelLayout->AddWidget(TraceRichEdit, QRect(16, 104, 348, 160), akLeft | akTop | akRight);

    MonthCalendar = new DateTimeCalendar(Panel1);
    MonthCalendar->setObjectName(QStringLiteral("MonthCalendar"));
    panelLayout->AddWidget(MonthCalendar, QRect(370, 104, 191, 160), akTop | akRight);

    ClearDBButton = new QPushButton(QStringLiteral("Очистить"), Panel1);
    ClearDBButton->setObjectName(QStringLiteral("ClearDBButton"));
    ClearDBButton->setFont(boldFont);
    panelLayout->AddWidget(ClearDBButton, QRect(32, 275, 113, 35), akLeft | akTop);

    CorrectBDCheckBox = new QCheckBox(QStringLiteral("исправление"), Panel1);
    CorrectBDCheckBox->setObjectName(QStringLiteral("CorrectBDCheckBox"));
    panelLayout->AddWidget(CorrectBDCheckBox, QRect(192, 285, 97, 17), akLeft | akTop);

    setTabOrder(FileNameLabeledEdit, FileOpenButton);
    setTabOrder(FileOpenButton, TraceRichEdit);
    setTabOrder(TraceRichEdit, SkipCheckBox);
    setTabOrder(SkipCheckBox, ClearDBButton);
    setTabOrder(ClearDBButton, CorrectBDCheckBox);

    connect(FileOpenButton, &QPushButton::clicked, this,
            [this] { ShowingErrors([this] { FileOpenButtonClick(FileOpenButton); }); });
    connect(MonthCalendar, &DateTimeCalendar::Clicked, this,
            [this] { ShowingErrors([this] { MonthCalendarClick(MonthCalendar); }); });
    connect(SkipCheckBox, &QCheckBox::clicked, this,
            [this] { ShowingErrors([this] { SkipCheckBoxClick(SkipCheckBox); }); });
    connect(ClearDBButton, &QPushButton::clicked, this, [this] {
        ShowingErrors([this] { ClearDBButtonClick(ClearDBButton); });
        // A close asked for during the run takes effect now that it is over.
        if (closeAfterRun_ && !run_->Running()) {
            closeAfterRun_ = false;
            close();
        }
    });

    resize(ClientSize);

    MonthCalendar->SetDate(QDate(2000, 1, 1));
    ShowCalendarDate();
}

TMainForm::~TMainForm()
{
    SetScreenCursor(crDefault);
}

template <class Handler>
void TMainForm::ShowingErrors(Handler handler)
{
    try {
        handler();
    } catch (...) {
        ShowError(this, std::current_exception());
    }
}

void TMainForm::ShowCalendarDate()
{
    DateTimeLabel->setText(ShortDateText(QLocale(), MonthCalendar->Date()));
}

void TMainForm::FileOpenButtonClick(QObject*)
{
    // The run works on the file it started with; another choice now would
    // point the database stage elsewhere halfway through.
    if (run_->Running())
        return;
    const std::optional<QString> chosen = FileOpenDialog->Choose(
        this, QString::fromUtf8(DatabaseFileFilter), QString::fromUtf8(DatabaseFileExt));
    if (!chosen)
        return;
    TraceRichEdit->clear();
    DBFileName = chosen->toLocal8Bit().toStdString();
    FileNameLabeledEdit->setText(QString::fromLocal8Bit(DBFileName));
    // The start of a long path says where the file is; show it, not the end.
    FileNameLabeledEdit->setCursorPosition(0);
}

void TMainForm::MonthCalendarClick(QObject*)
{
    ShowCalendarDate();
}

void TMainForm::SkipCheckBoxClick(QObject*)
{
    const bool skip = SkipCheckBox->isChecked();
    CopyFromLabel->setEnabled(!skip);
    DateTimeLabel->setEnabled(!skip);
    MonthCalendar->setVisible(!skip);
}

void TMainForm::ClearDBButtonClick(QObject*)
{
    // Clicks that arrive through the trace pane while a run is under way
    // must neither start a second run on the same working files nor touch
    // that run's cursor.
    if (run_->Running())
        return;
    struct CursorBack {
        TMainForm& form;
        ~CursorBack() { form.SetScreenCursor(crDefault); }
    } cursorBack{*this};
    run_->RunCleaning();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (run_->Running()) {
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TMainForm::Trace(std::string text, TColor colour)
{
    TraceRichEdit->Append(QString::fromUtf8(text), colour);
}

std::string TMainForm::DatabasePathText()
{
    return FileNameLabeledEdit->text().toLocal8Bit().toStdString();
}

bool TMainForm::SkipChecked()
{
    return SkipCheckBox->isChecked();
}

TDateTime TMainForm::CalendarValue()
{
    const QDateTime value = MonthCalendar->Value();
    const QDate date = value.date();
    const QTime time = value.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec()};
}

bool TMainForm::CorrectionChecked()
{
    return CorrectBDCheckBox->isChecked();
}

void TMainForm::UncheckCorrection()
{
    CorrectBDCheckBox->setChecked(false);
}

void TMainForm::ClearTrace()
{
    TraceRichEdit->clear();
}

void TMainForm::KeepAlive()
{
    // Without this a copy or restore of minutes leaves the window blank, and
    // the desktop offers to kill it in the middle of the restore. Input is
    // left queued: a click handled here could change what the blocked step is
    // working on, and the run reads its inputs only between its lines.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TMainForm::SetScreenCursor(TCursor cursor)
{
    // One override at most, so every way a run ends leaves the cursor as it
    // was before the run.
    const bool busy = cursor == crHourGlass;
    if (busy == busyCursor_)
        return;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
    busyCursor_ = busy;
}
