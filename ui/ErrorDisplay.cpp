#include "ui/ErrorDisplay.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <stdexcept>

namespace {

// The innermost non-empty message of `error` and whatever it wraps.
QString InnermostMessage(const std::exception_ptr& error)
{
    QString found;
    std::exception_ptr current = error;
    while (current) {
        std::exception_ptr next;
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            const QString message = QString::fromUtf8(e.what());
            if (!message.isEmpty())
                found = message;
            if (const auto* nested = dynamic_cast<const std::nested_exception*>(&e))
                next = nested->nested_ptr();
        } catch (const std::nested_exception& nested) {
            next = nested.nested_ptr();
        } catch (...) {
            // Not one of ours: it has no message of its own.
        }
        current = next;
    }
    return found;
}

}  // namespace

QString ErrorMessageText(const std::exception_ptr& error)
{
    QString message = InnermostMessage(error);
    if (!message.isEmpty() && message.back().unicode() > u'.')
        message += QLatin1Char('.');
    return message;
}

QString ApplicationTitle(const QString& executablePath)
{
    const qsizetype folderEnd = executablePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype backslashFolderEnd = executablePath.lastIndexOf(QLatin1Char('\\'));
    QString name = executablePath.mid(std::max(folderEnd, backslashFolderEnd) + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

void ShowError(QWidget* parent, const std::exception_ptr& error)
{
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(QCoreApplication::applicationFilePath()),
                    ErrorMessageText(error), QMessageBox::Ok, parent);
    box.exec();
}
