#pragma once

#include <QColor>
#include <QString>
#include <QTextEdit>

#include "clean/Trace.h"

// The pane that shows a cleaning run's lines, each in its own colour. The
// operator may type and select in it; nothing reads what is typed.
class TracePane : public QTextEdit {
public:
    explicit TracePane(QWidget* parent);

    // Appends `text` as a new last line in `colour`, letting the window
    // handle whatever is waiting before and after, so the line is on screen
    // when this returns and the window stays responsive between a run's steps.
    void Append(const QString& text, TColor colour);

    // The colour on screen of a toolkit colour number (0x00BBGGRR).
    static QColor ScreenColour(TColor colour);

protected:
    void resizeEvent(QResizeEvent* event) override;
};
