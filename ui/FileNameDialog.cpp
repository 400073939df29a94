#include "ui/FileNameDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

namespace {

// Qt's own dialog reads a name with double quotes in it as a list of quoted
// names ("a" "b") and would choose another file than the one typed. Here a
// typed name is always one name: a folder is entered, anything else chosen.
class OneNameDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    // The name typed with quotes in it, resolved; empty otherwise.
    QString typedChoice;

    void accept() override
    {
        const auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = nameEdit != nullptr ? nameEdit->text() : QString();
        if (!typed.contains(QLatin1Char('"')))
            return QFileDialog::accept();
        QString path = QDir::isAbsolutePath(typed) ? typed : directory().filePath(typed);
        path = QDir::cleanPath(path);
        if (QFileInfo(path).isDir()) {
            setDirectory(path);
            findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
            return;
        }
        if (QFileInfo(path).suffix().isEmpty() && !defaultSuffix().isEmpty())
            path += QLatin1Char('.') + defaultSuffix();
        typedChoice = path;
        QDialog::accept();
    }
};

}  // namespace

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
    OneNameDialog dialog(parent);
    // Qt's own dialog, also where the desktop offers one, so that a typed
    // name is read as one name.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(filter));
    QString suffix = defaultExt;
    if (suffix.startsWith(QLatin1String("*.")))
        suffix.remove(0, 2);
    dialog.setDefaultSuffix(suffix);
    if (!lastChosen_.isEmpty())
        dialog.selectFile(lastChosen_);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (!dialog.typedChoice.isEmpty())
        lastChosen_ = dialog.typedChoice;
    else if (!dialog.selectedFiles().isEmpty())
        lastChosen_ = dialog.selectedFiles().constFirst();
    else
        return std::nullopt;
    return lastChosen_;
}
