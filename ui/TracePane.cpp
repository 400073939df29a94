#include "ui/TracePane.h"

#include <QCoreApplication>
#include <QResizeEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TracePane::TracePane(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Keep the selection as visible without focus as with it.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
}

// At a fractional scale (125 %, 150 %) the text area, a child widget, is
// rounded to whole device pixels outwards and paints over the frame's bottom
// and right lines, which the pane draws one logical pixel inside its edge.
// One logical pixel less for the text area there keeps the frame whole; at
// whole scales nothing changes.
void TracePane::resizeEvent(QResizeEvent* event)
{
    const qreal scale = devicePixelRatioF();
    const int keep = scale == static_cast<int>(scale) ? 0 : 1;
    setViewportMargins(0, 0, keep, keep);
    QTextEdit::resizeEvent(event);
}

QColor TracePane::ScreenColour(TColor colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

void TracePane::Append(const QString& text, TColor colour)
{
    const QColor screenColour = ScreenColour(colour);
    setTextColor(screenColour);
    QCoreApplication::processEvents();

    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // The pane ends with a line break exactly when its last block is empty;
    // text the operator typed without one gets it now, so the new line
    // starts on a line of its own.
    const bool endsWithLineBreak = document()->lastBlock().text().isEmpty();
    line = endsWithLineBreak ? line + QLatin1Char('\n') : QLatin1Char('\n') + line;

    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(screenColour);
    // An empty last line becomes part of this line (or, for a text that
    // starts with a line break, the empty line before it): give it the colour.
    if (endsWithLineBreak)
        cursor.setBlockCharFormat(format);
    cursor.insertText(line, format);
    setTextCursor(cursor);
    ensureCursorVisible();

    QCoreApplication::processEvents();
}
