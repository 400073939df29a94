// The trace pane: one coloured line per call, on a line of its own, painted
// and with the window's pending events handled before the call returns.
#include <QApplication>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/ui/WindowTestSupport.h"
#include "ui/TracePane.h"

namespace {

const QColor Blue(0, 0, 255);
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

struct Step {
    enum Kind { Line, Typing, Clearing } kind;
    const char* text = "";
    TColor colour = 0;
};

Step Traced(const char* text, TColor colour)
{
    return {Step::Line, text, colour};
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<PaneLine> lines;
};

TEST(TracePaneTest, AppendsEachTextAsItsOwnLineInItsColour)
{
    const Case cases[] = {
        {"successive colours",
         {Traced("Сохранение оригинального файла БД (*.fdb -> *.bak)...", clBlue), Traced("...Ok", clGreen),
          Traced("Неудача...", clRed)},
         {{"Сохранение оригинального файла БД (*.fdb -> *.bak)...", Blue}, {"...Ok", Green}, {"Неудача...", Red}}},
        {"typed text without a line break",
         {Traced("first", clBlue), {Step::Typing, "typed"}, Traced("second", clGreen)},
         {{"first", Blue}, {"typed", Blue}, {"second", Green}}},
        {"typed text, then two lines",
         {{Step::Typing, "typed"}, Traced("one", clRed), Traced("two", clGreen)},
         {{"typed", QColor()}, {"one", Red}, {"two", Green}}},
        {"text beginning with a line break",
         {Traced("...Ok", clBlue), Traced("\r\nDone!", clGreen)},
         {{"...Ok", Blue}, {"", Green}, {"Done!", Green}}},
        {"line breaks inside the text",
         {Traced("a\nb", clRed)},
         {{"a", Red}, {"b", Red}}},
        {"empty text", {Traced("a", clRed), Traced("", clBlue), Traced("b", clGreen)},
         {{"a", Red}, {"", Blue}, {"b", Green}}},
        {"first line after clearing stands at the top",
         {Traced("old", clRed), {Step::Clearing}, Traced("new", clBlue)},
         {{"new", Blue}}},
        {"clearing an empty pane", {{Step::Clearing}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TracePane pane(nullptr);
        pane.show();
        for (const Step& step : c.steps) {
            switch (step.kind) {
            case Step::Line:
                pane.Append(QString::fromUtf8(step.text), step.colour);
                break;
            case Step::Typing:
                QTest::keyClicks(&pane, QString::fromUtf8(step.text));
                break;
            case Step::Clearing:
                pane.clear();
                break;
            }
        }
        EXPECT_EQ(PaneLines(pane), c.lines);
    }
}

TEST(TracePaneTest, ShowsTheNewestLineOnceTheTextNoLongerFits)
{
    TracePane pane(nullptr);
    pane.resize(348, 160);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    pane.Append("first", clBlue);
    EXPECT_FALSE(pane.verticalScrollBar()->isVisible());

    for (int i = 0; i < 40; ++i)
        pane.Append(QString("line %1").arg(i), clGreen);
    EXPECT_TRUE(pane.verticalScrollBar()->isVisible());
    EXPECT_GT(pane.verticalScrollBar()->maximum(), 0);
    const QTextBlock newest = pane.document()->lastBlock().previous();
    ASSERT_EQ(newest.text(), "line 39");
    const QRectF shown = pane.document()->documentLayout()->blockBoundingRect(newest).translated(
        -pane.horizontalScrollBar()->value(), -pane.verticalScrollBar()->value());
    EXPECT_TRUE(QRectF(pane.viewport()->rect()).contains(shown))
        << "line at " << shown.top() << ".." << shown.bottom() << ", view " << pane.viewport()->height();
}

TEST(TracePaneTest, HandlesWaitingEventsBeforeItReturns)
{
    TracePane pane(nullptr);
    pane.show();
    int linesWhenHandled = -1;
    QMetaObject::invokeMethod(
        qApp, [&] { linesWhenHandled = static_cast<int>(PaneLines(pane).size()); }, Qt::QueuedConnection);
    pane.Append("line", clBlue);
    EXPECT_EQ(linesWhenHandled, 0) << "handled before the line was appended";

    // An event that arrives while the line goes in (as a click on the
    // calendar would) is handled by the drain after the append.
    bool handledAfterAppend = false;
    QMetaObject::Connection posting = QObject::connect(pane.document(), &QTextDocument::contentsChanged, &pane, [&] {
        QObject::disconnect(posting);
        QMetaObject::invokeMethod(qApp, [&] { handledAfterAppend = true; }, Qt::QueuedConnection);
    });
    pane.Append("second", clGreen);
    EXPECT_TRUE(handledAfterAppend);
}

}  // namespace
