#include "ui/ErrorDisplay.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>
#include <QMessageBox>
#include <algorithm>
#include <stdexcept>

#include "ui/ErrorMessage.h"

QString ErrorMessageText(const std::exception_ptr& error)
{
    return QString::fromUtf8(ErrorMessage(error));
}

QString ApplicationTitle(const QString& executablePath)
{
    return QString::fromStdU16String(ApplicationTitleOf(executablePath.toStdU16String(), [](const std::u16string& tail) {
        return QString::fromStdU16String(tail).toLower().toStdU16String();
    }));
}

namespace {

int ErrorBoxMinimumWidth(const QString& title, const QFont& font)
{
    // Window managers draw titles in a bold face, often larger than the
    // box's text, beside the window's icon and up to three buttons.
    QFont titleFont = font;
    titleFont.setBold(true);
    constexpr int TitleBarControls = 4 * 32;
    return QFontMetrics(titleFont).horizontalAdvance(title) * 5 / 4 + TitleBarControls;
}

}  // namespace

void ShowError(QWidget* parent, const std::exception_ptr& error)
{
    const QString title = ApplicationTitle(QCoreApplication::applicationFilePath());
    QMessageBox box(QMessageBox::Critical, title, ErrorMessageText(error), QMessageBox::Ok, parent);
    // A short or empty message would leave the box so narrow that the window
    // manager cuts its title down to "q…er". The box sizes itself to its
    // layout, so the width is held open there.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(ErrorBoxMinimumWidth(title, box.font()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}
