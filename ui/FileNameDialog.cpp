#include "ui/FileNameDialog.h"

#include <QFileDialog>
#include <QStringList>

QStringList OpenFileDialog::NameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList shown;
    for (qsizetype i = 0; i < parts.size(); i += 2)
        shown.append(parts[i]);
    return shown;
}

std::optional<QString> OpenFileDialog::Choose(QWidget* parent, const QString& filter, const QString& defaultExt)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(filter));
    QString suffix = defaultExt;
    if (suffix.startsWith(QLatin1String("*.")))
        suffix.remove(0, 2);
    dialog.setDefaultSuffix(suffix);
    if (!lastChosen_.isEmpty())
        dialog.selectFile(lastChosen_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    lastChosen_ = dialog.selectedFiles().constFirst();
    return lastChosen_;
}
