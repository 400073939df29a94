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
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "ui/AnchorLayout.h"
#include "ui/ApplicationIcon.h"
#include "ui/ApplicationId.h"
#include "ui/DateTimeCalendar.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileNameDialog.h"
#include "ui/FormDesign.h"
#include "ui/HeldInput.h"
#include "ui/TracePane.h"
#include "ui/WindowFonts.h"

TMainForm* MainForm = nullptr;

namespace {

const QSize ClientSize(form::ClientSize.width, form::ClientSize.height);

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

// The panel's control of that name, as the widget type it was made as.
template <class Widget>
Widget* ControlIn(const QWidget* panel, std::string_view name)
{
    return panel->findChild<Widget*>(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                                     Qt::FindDirectChildrenOnly);
}

// The widget of the control's kind, with the control's text.
QWidget* MakeWidget(const form::Control& control, QWidget* parent)
{
    const QString text = QString::fromUtf8(control.text.data(), static_cast<qsizetype>(control.text.size()));
    switch (control.kind) {
    case form::Kind::Panel: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frame->setLineWidth(1);
        frame->setMidLineWidth(0);
        return frame;
    }
    case form::Kind::Edit:
        return new QLineEdit(parent);
    case form::Kind::EditLabel:
    case form::Kind::Label:
        return new QLabel(text, parent);
    case form::Kind::Button:
        return new QPushButton(text, parent);
    case form::Kind::CheckBox:
        return new QCheckBox(text, parent);
    case form::Kind::RichEdit:
        return new TracePane(parent);
    case form::Kind::MonthCalendar:
        return new DateTimeCalendar(parent);
    }
    throw std::logic_error("unknown control kind");
}

// The window's own caption, as the control table gives it.
QString OwnCaption()
{
    return QString::fromUtf8(form::Caption.data(), static_cast<qsizetype>(form::Caption.size()));
}

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
      presenter_(*this, *this, makeRun),
      launcher_(DesktopFileName)
{
    FileOpenDialog = fileDialog_.get();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(OwnCaption());
    setWindowIcon(ApplicationIcon());
    const QFont windowFont = RoleFont(form::FontRole::Window);
    setFont(windowFont);

    // Every control is made from its row of the table, in the table's order
    // (the panel first), which is also the order they stack in.
    auto* windowLayout = new AnchorLayout(this, ClientSize);
    AnchorLayout* panelLayout = nullptr;
    for (const form::Control& control : form::Controls()) {
        if (control.kind == form::Kind::Panel) {
            Panel1 = static_cast<QFrame*>(MakeWidget(control, this));
            Lay(windowLayout, Panel1, control.name);
            const form::Size inner = form::DesignedInnerArea();
            panelLayout = new AnchorLayout(Panel1, QSize(inner.width, inner.height));
        } else {
            Lay(panelLayout, MakeWidget(control, Panel1), control.name);
        }
    }
    FileNameLabeledEdit = ControlIn<QLineEdit>(Panel1, "FileNameLabeledEdit");
    FileNameLabeledEditLabel = ControlIn<QLabel>(Panel1, "FileNameLabeledEditLabel");
    FileOpenButton = ControlIn<QPushButton>(Panel1, "FileOpenButton");
    CopyFromLabel = ControlIn<QLabel>(Panel1, "CopyFromLabel");
    DateTimeLabel = ControlIn<QLabel>(Panel1, "DateTimeLabel");
    SkipCheckBox = ControlIn<QCheckBox>(Panel1, "SkipCheckBox");
    TraceRichEdit = ControlIn<TracePane>(Panel1, "TraceRichEdit");
    MonthCalendar = ControlIn<DateTimeCalendar>(Panel1, "MonthCalendar");
    ClearDBButton = ControlIn<QPushButton>(Panel1, "ClearDBButton");
    CorrectBDCheckBox = ControlIn<QCheckBox>(Panel1, "CorrectBDCheckBox");

    FileNameLabeledEdit->setReadOnly(true);
    // A long path is cut off at the edit's end; hovering shows all of it.
    connect(FileNameLabeledEdit, &QLineEdit::textChanged, FileNameLabeledEdit, &QWidget::setToolTip);
    FileNameLabeledEditLabel->setBuddy(FileNameLabeledEdit);

    DateTimeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette blueText = DateTimeLabel->palette();
    blueText.setColor(QPalette::Active, QPalette::WindowText, Blue());
    blueText.setColor(QPalette::Inactive, QPalette::WindowText, Blue());
    DateTimeLabel->setPalette(blueText);

    TraceRichEdit->setFont(windowFont);
    TraceRichEdit->setTabChangesFocus(true);

    auto* enterPresses = new EnterPressesButton(this);
    FileOpenButton->installEventFilter(enterPresses);
    ClearDBButton->installEventFilter(enterPresses);

    // The keyboard walks the controls in the table's tab order.
    QWidget* previous = nullptr;
    for (const form::Control* control : FormPresenter::TabOrder()) {
        QWidget* widget = ControlWidget(control->name);
        if (previous != nullptr)
            setTabOrder(previous, widget);
        previous = widget;
    }

    connect(FileOpenButton, &QPushButton::clicked, this, [this] { FileOpenButtonClick(FileOpenButton); });
    connect(MonthCalendar, &DateTimeCalendar::Clicked, this, [this] { MonthCalendarClick(MonthCalendar); });
    // The run reads the calendar, not the label: a day changed with the
    // keyboard must not leave the label showing a cut-off the run won't use.
    connect(MonthCalendar, &DateTimeCalendar::DateChanged, this, [this] { presenter_.CalendarDayChanged(); });
    connect(SkipCheckBox, &QCheckBox::clicked, this, [this] { SkipCheckBoxClick(SkipCheckBox); });
    connect(ClearDBButton, &QPushButton::clicked, this, [this] { ClearDBButtonClick(ClearDBButton); });

    KeepBoldCaptionsBoldWhenScaled(this);
    resize(ClientSize);

    presenter_.Start();
}

TMainForm::~TMainForm()
{
    SetScreenCursor(crDefault);
}

void TMainForm::FileOpenButtonClick(QObject*)
{
    presenter_.FileOpenButtonClick();
}

void TMainForm::MonthCalendarClick(QObject*)
{
    presenter_.MonthCalendarClick();
}

void TMainForm::SkipCheckBoxClick(QObject*)
{
    presenter_.SkipCheckBoxClick();
}

void TMainForm::ClearDBButtonClick(QObject*)
{
    presenter_.ClearDBButtonClick();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!presenter_.MayClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

std::optional<std::string> TMainForm::ChooseDatabaseFile(std::string_view filter, std::string_view defaultExt)
{
    const std::optional<QString> chosen =
        FileOpenDialog->Choose(this, QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())),
                               QString::fromUtf8(defaultExt.data(), static_cast<qsizetype>(defaultExt.size())));
    if (!chosen)
        return std::nullopt;
    return chosen->toLocal8Bit().toStdString();
}

void TMainForm::ShowDatabasePath(const std::string& path)
{
    FileNameLabeledEdit->setText(QString::fromLocal8Bit(path));
    // The start of a long path says where the file is; show it, not the end.
    FileNameLabeledEdit->setCursorPosition(0);
}

void TMainForm::SetCalendarDay(int year, int month, int day)
{
    MonthCalendar->SetDate(QDate(year, month, day));
}

void TMainForm::ShowCalendarDay()
{
    DateTimeLabel->setText(ShortDateText(QLocale(), MonthCalendar->Date()));
}

QWidget* TMainForm::ControlWidget(std::string_view name) const
{
    return ControlIn<QWidget>(Panel1, name);
}

void TMainForm::EnableControl(std::string_view name, bool enabled)
{
    ControlWidget(name)->setEnabled(enabled);
}

void TMainForm::ShowControl(std::string_view name, bool shown)
{
    ControlWidget(name)->setVisible(shown);
}

void TMainForm::ShowError(const std::exception_ptr& error)
{
    ::ShowError(this, error);
}

void TMainForm::CloseWindow()
{
    close();
}

bool TMainForm::AskToStop(std::string_view question)
{
    // The window's own caption: the progress in it now would stand still in
    // the box's title.
    QMessageBox box(QMessageBox::Question, OwnCaption(),
                    QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())), QMessageBox::NoButton,
                    this);
    box.setObjectName(QStringLiteral("StopQuestion"));
    QPushButton* stop = box.addButton(QStringLiteral("Остановить"), QMessageBox::DestructiveRole);
    stop->setObjectName(QStringLiteral("Stop"));
    QPushButton* go = box.addButton(QStringLiteral("Продолжить"), QMessageBox::RejectRole);
    go->setObjectName(QStringLiteral("Continue"));
    // A stop undoes minutes of work: Enter, Escape and closing the box all
    // let the run go on.
    box.setDefaultButton(go);
    box.setEscapeButton(go);
    box.exec();
    return box.clickedButton() == stop;
}

void TMainForm::ShowProgress(const std::string& caption, std::optional<int> percent)
{
    setWindowTitle(QString::fromUtf8(caption));
    launcher_.Show(percent);
}

void TMainForm::EndProgress()
{
    setWindowTitle(OwnCaption());
    launcher_.Clear();
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

void TMainForm::KeepAlive(const RunProgress& progress)
{
    presenter_.ShowProgress(progress);
    // Without this a copy or restore of minutes leaves the window blank, and
    // the desktop offers to kill it in the middle of the restore. Input is
    // held back: a click handled here could change what the blocked step is
    // working on, and the run reads its inputs only between its lines. The
    // close request must get through, so the operator can stop the run.
    const HeldInput held(windowHandle());
    QCoreApplication::processEvents();
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
