#pragma once

#include <QString>
#include <optional>
#include <utility>

class QWidget;

// Asks the operator for a file name. The window asks through this, so tests
// can answer in place of a dialog that no test can drive.
class FileNameDialog {
public:
    virtual ~FileNameDialog() = default;

    // `filter` in the toolkit's form "Description|pattern[|Description|pattern...]";
    // `defaultExt` like "*.fdb". Empty when the operator cancels.
    virtual std::optional<QString> Choose(QWidget* parent, const QString& filter, const QString& defaultExt) = 0;
};

// The platform's open-file dialog: accepts names of files that do not exist
// and offers the name chosen last time.
class OpenFileDialog : public FileNameDialog {
public:
    std::optional<QString> Choose(QWidget* parent, const QString& filter, const QString& defaultExt) override;

    // "Database files (*.fdb)|*.fdb" as the dialog shows it: "Database files (*.fdb)".
    static QStringList NameFilters(const QString& filter);

private:
    QString lastChosen_;
};

// Answers every question with one file, as if the operator had chosen it:
// for programs that drive the real window (the README's picture, tests).
class GivenFileDialog : public FileNameDialog {
public:
    explicit GivenFileDialog(QString file) : file_(std::move(file)) {}
    std::optional<QString> Choose(QWidget*, const QString&, const QString&) override { return file_; }

private:
    QString file_;
};
