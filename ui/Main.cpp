#include "ui/Main.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "ui/AnchorLayout.h"
#include "ui/ApplicationIcon.h"
#include "ui/DateTimeCalendar.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileNameDialog.h"
#include "ui/FormDesign.h"
#include "ui/TracePane.h"
#include "ui/WindowFonts.h"

TMainForm* MainForm = nullptr;

namespace {

const QSize ClientSize(form::ClientSize.width, form::ClientSize.height);

QString Text(std::string_view name)
{
    const std::string_view text = form::Find(name).text;
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont RoleFont(form::FontRole role)
{
    switch (role) {
    case form::FontRole::Bold:
        return CharacterHeightFont(11, true);
    case form::FontRole::LargeBold:
        return CellHeightFont(16, true);
    case form::FontRole::Window:
    case form::FontRole::TraceCyrillic:  // Qt's fonts carry no character set
        break;
    }
    return CharacterHeightFont(11, false);
}

// Names the widget after its control, gives it the control's font and lays it
// out where the table says. Window-font controls inherit the window's font.
void Lay(AnchorLayout* layout, QWidget* widget, std::string_view name)
{
    const form::Control& control = form::Find(name);
    widget->setObjectName(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (control.font == form::FontRole::Bold || control.font == form::FontRole::LargeBold)
        widget->setFont(RoleFont(control.font));
    const form::Rect& r = control.rect;
    layout->AddWidget(widget, QRect(r.left, r.top, r.width, r.height), control.anchors);
    if (!control.visible)
        widget->setVisible(false);
}

const char* const DatabaseFileFilter = "Database files (*.fdb)|*.fdb";
const char* const DatabaseFileExt = "*.fdb";

QColor Blue()
{
    return TracePane::ScreenColour(clBlue);
}

// Return and keypad Enter press the focused button, as they do in the
// Windows window; Qt's buttons take them only in dialogs. There is no default
// button: Enter elsewhere does nothing. A held key presses once, so it does
// not queue file dialogs or runs one after the other.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return QObject::eventFilter(watched, event);
        if (!key->isAutoRepeat())
            static_cast<QAbstractButton*>(watched)->click();
        return true;
    }
};

}  // namespace

TMainForm::TMainForm(QWidget* owner, std::unique_ptr<FileNameDialog> dialog, RunFactory makeRun)
    : QWidget(owner, Qt::Window),
      FileOpenDialog(nullptr),
      fileDialog_(dialog ? std::move(dialog) : std::make_unique<OpenFileDialog>()),
      run_(makeRun ? makeRun(*this) : std::make_unique<CleaningRun>(*this))
{
    FileOpenDialog = fileDialog_.get();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(form::Caption.data(), static_cast<qsizetype>(form::Caption.size())));
    setWindowIcon(ApplicationIcon());
    const QFont windowFont = RoleFont(form::FontRole::Window);
    setFont(windowFont);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(0);
    auto* windowLayout = new AnchorLayout(this, ClientSize);
    Lay(windowLayout, Panel1, "Panel1");

    const form::Size inner = form::DesignedInnerArea();
    auto* panelLayout = new AnchorLayout(Panel1, QSize(inner.width, inner.height));

    FileNameLabeledEdit = new QLineEdit(Panel1);
    FileNameLabeledEdit->setReadOnly(true);
    // A long path is cut off at the edit's end; hovering shows all of it.
    connect(FileNameLabeledEdit, &QLineEdit::textChanged, FileNameLabeledEdit, &QWidget::setToolTip);
    Lay(panelLayout, FileNameLabeledEdit, "FileNameLabeledEdit");

    FileNameLabeledEditLabel = new QLabel(Text("FileNameLabeledEditLabel"), Panel1);
    FileNameLabeledEditLabel->setBuddy(FileNameLabeledEdit);
    Lay(panelLayout, FileNameLabeledEditLabel, "FileNameLabeledEditLabel");

    FileOpenButton = new QPushButton(Text("FileOpenButton"), Panel1);
    Lay(panelLayout, FileOpenButton, "FileOpenButton");

    CopyFromLabel = new QLabel(Text("CopyFromLabel"), Panel1);
    Lay(panelLayout, CopyFromLabel, "CopyFromLabel");

    DateTimeLabel = new QLabel(Panel1);
    DateTimeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette blueText = DateTimeLabel->palette();
    blueText.setColor(QPalette::Active, QPalette::WindowText, Blue());
    blueText.setColor(QPalette::Inactive, QPalette::WindowText, Blue());
    DateTimeLabel->setPalette(blueText);
    Lay(panelLayout, DateTimeLabel, "DateTimeLabel");

    SkipCheckBox = new QCheckBox(Text("SkipCheckBox"), Panel1);
    Lay(panelLayout, SkipCheckBox, "SkipCheckBox");

    TraceRichEdit = new TracePane(Panel1);
    TraceRichEdit->setFont(windowFont);
    TraceRichEdit->setTabChangesFocus(true);
    Lay(panelLayout, TraceRichEdit, "TraceRichEdit");

    MonthCalendar = new DateTimeCalendar(Panel1);
    Lay(panelLayout, MonthCalendar, "MonthCalendar");

    ClearDBButton = new QPushButton(Text("ClearDBButton"), Panel1);
    Lay(panelLayout, ClearDBButton, "ClearDBButton");

    auto* enterPresses = new EnterPressesButton(this);
    FileOpenButton->installEventFilter(enterPresses);
    ClearDBButton->installEventFilter(enterPresses);

    CorrectBDCheckBox = new QCheckBox(Text("CorrectBDCheckBox"), Panel1);
    Lay(panelLayout, CorrectBDCheckBox, "CorrectBDCheckBox");

    // The keyboard reaches the tab stops in the table's tab order.
    std::vector<const form::Control*> tabStops;
    for (const form::Control& control : form::Controls())
        if (control.tabStop)
            tabStops.push_back(&control);
    std::sort(tabStops.begin(), tabStops.end(),
              [](const form::Control* a, const form::Control* b) { return a->tabOrder < b->tabOrder; });
    QWidget* previous = nullptr;
    for (const form::Control* control : tabStops) {
        auto* widget = Panel1->findChild<QWidget*>(
            QString::fromUtf8(control->name.data(), static_cast<qsizetype>(control->name.size())));
        if (previous != nullptr)
            setTabOrder(previous, widget);
        previous = widget;
    }

    connect(FileOpenButton, &QPushButton::clicked, this,
            [this] { ShowingErrors([this] { FileOpenButtonClick(FileOpenButton); }); });
    connect(MonthCalendar, &DateTimeCalendar::Clicked, this,
            [this] { ShowingErrors([this] { MonthCalendarClick(MonthCalendar); }); });
    // The run reads the calendar, not the label: a day changed with the
    // keyboard must not leave the label showing a cut-off the run won't use.
    connect(MonthCalendar, &DateTimeCalendar::DateChanged, this, [this] { ShowCalendarDate(); });
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

    KeepBoldCaptionsBoldWhenScaled(this);
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
