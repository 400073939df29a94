#include "tests/ui/WindowTestSupport.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <memory>
#include <ostream>

std::optional<QString> ScriptedFileDialog::Choose(QWidget*, const QString&, const QString&)
{
    ++calls;
    if (answers_.empty())
        throw std::runtime_error("the file dialog was asked more often than scripted");
    std::optional<QString> answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void WhenModalOpens(std::function<void(QWidget*)> act)
{
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start();
}

namespace {

QColor ForegroundOf(const QTextCharFormat& format)
{
    return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : QColor();
}

}  // namespace

std::vector<PaneLine> PaneLines(const QTextEdit& pane)
{
    std::vector<PaneLine> lines;
    const QTextDocument& document = *pane.document();
    for (QTextBlock block = document.begin(); block != document.end(); block = block.next()) {
        const bool last = block == document.lastBlock();
        if (last && block.text().isEmpty())
            break;  // nothing after the final line break
        PaneLine line{block.text(), ForegroundOf(block.charFormat())};
        bool first = true;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QColor colour = ForegroundOf(it.fragment().charFormat());
            if (first)
                line.colour = colour;
            else if (colour != line.colour)
                line.colour = QColor();
            first = false;
        }
        lines.push_back(line);
    }
    return lines;
}

void PrintTo(const PaneLine& line, std::ostream* out)
{
    *out << '"' << line.text.toStdString() << "\" in " << line.colour.name().toStdString();
}

QModelIndex DayCell(QTableView& view, int day)
{
    QAbstractItemModel& model = *view.model();
    bool inMonth = false;
    for (int row = 0; row < model.rowCount(); ++row)
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            bool isNumber = false;
            const int shown = model.data(index).toInt(&isNumber);
            if (!isNumber)
                continue;
            if (shown == 1)
                inMonth = !inMonth;
            if (inMonth && shown == day)
                return index;
        }
    return {};
}
