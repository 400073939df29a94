#pragma once

#include <QColor>
#include <QModelIndex>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ui/FileNameDialog.h"

class QTableView;
class QTextEdit;

// Answers the window's file question from a script instead of a dialog.
class ScriptedFileDialog : public FileNameDialog {
public:
    // Each call takes the next answer; nullopt is a cancel.
    explicit ScriptedFileDialog(std::deque<std::optional<QString>> answers) : answers_(std::move(answers)) {}
    std::optional<QString> Choose(QWidget*, const QString&, const QString&) override;
    int calls = 0;

private:
    std::deque<std::optional<QString>> answers_;
};

// `name` among the descendants of `root`, or a test failure.
template <class Widget>
Widget* Child(const QObject* root, const QString& name)
{
    Widget* found = root->findChild<Widget*>(name);
    if (found == nullptr)
        throw std::runtime_error("no child named " + name.toStdString());
    return found;
}

// Calls `act` with the first modal window that opens from now on, from
// inside that window's own event loop.
void WhenModalOpens(std::function<void(QWidget*)> act);

// One line of a trace pane with the colour that all of it is drawn in; an
// invalid colour when its parts differ or carry none.
struct PaneLine {
    QString text;
    QColor colour;
    bool operator==(const PaneLine&) const = default;
};
std::vector<PaneLine> PaneLines(const QTextEdit& pane);
void PrintTo(const PaneLine& line, std::ostream* out);

// The cell of a calendar's day grid that shows `day` of the month on
// display; invalid when there is none.
QModelIndex DayCell(QTableView& view, int day);
