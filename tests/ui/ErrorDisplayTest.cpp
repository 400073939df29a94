// The message box that shows an error no handler dealt with.
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>
#include <stdexcept>

#include "tests/ui/WindowTestSupport.h"
#include "ui/ErrorDisplay.h"

namespace {

struct NotAStandardError {};

template <class Make>
std::exception_ptr Caught(Make make)
{
    try {
        make();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// `outer` thrown while `inner` is being handled, so it wraps it.
template <class Inner>
void Nested(Inner inner, const std::string& outer)
{
    try {
        throw inner;
    } catch (...) {
        std::throw_with_nested(std::runtime_error(outer));
    }
}

TEST(ErrorDisplayTest, MessageIsTheInnermostNonEmptyOneWithAFullStopAfterALetterOrDigit)
{
    struct Row {
        const char* name;
        std::exception_ptr error;
        const char* shown;
    };
    const Row rows[] = {
        {"ends in a letter", Caught([] { throw std::runtime_error("Ошибка чтения"); }), "Ошибка чтения."},
        {"ends in a digit", Caught([] { throw std::runtime_error("code 5"); }), "code 5."},
        {"ends in a quote (below '.')",
         Caught([] { throw std::runtime_error("Invalid data type for 'DefaultInstance'"); }),
         "Invalid data type for 'DefaultInstance'"},
        {"ends in '!'", Caught([] { throw std::runtime_error("Нет файла!"); }), "Нет файла!"},
        {"ends in '.'", Caught([] { throw std::runtime_error("Stopped."); }), "Stopped."},
        {"ends in ','", Caught([] { throw std::runtime_error("a,"); }), "a,"},
        {"ends in '/' (just above '.')", Caught([] { throw std::runtime_error("C:/"); }), "C:/."},
        {"empty message", Caught([] { throw std::runtime_error(""); }), ""},
        {"not a standard error", Caught([] { throw NotAStandardError(); }), ""},
        {"nested: the inner message", Caught([] { Nested(std::logic_error("inner"), "outer"); }), "inner."},
        {"nested: an empty inner message gives way",
         Caught([] { Nested(std::logic_error(""), "outer"); }), "outer."},
        {"nested: an inner error that is not standard",
         Caught([] { Nested(NotAStandardError(), "outer"); }), "outer."},
        {"nested three deep", Caught([] {
             try {
                 Nested(std::logic_error("innermost"), "middle");
             } catch (...) {
                 std::throw_with_nested(std::runtime_error("outer"));
             }
         }),
         "innermost."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ErrorMessageText(row.error), QString::fromUtf8(row.shown));
    }
}

TEST(ErrorDisplayTest, TitleIsTheExecutableNameCutAtItsFirstDotAndLowerCasedAfterTheFirstCharacter)
{
    struct Row {
        const char* path;
        const char* title;
    };
    const Row rows[] = {
        {"/usr/bin/quenor-cleaner", "quenor-cleaner"},
        {"C:\\Program Files\\Quenor\\QUENOR-CLEANER.EXE", "Quenor-cleaner"},
        {"/opt/My.Tool.v2", "My"},
        {"/opt/with.dot/CleanDB", "Cleandb"},
        {"/x/ÉТАЛОН.exe", "Éталон"},
        {"quenor", "quenor"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ApplicationTitle(QString::fromUtf8(row.path)), QString::fromUtf8(row.title)) << row.path;
}

TEST(ErrorDisplayTest, ShowsOneModalErrorBoxWithOnlyOk)
{
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*> buttons;
    bool modal = false;
    WhenModalOpens([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons();
        modal = box->isModal();
        ASSERT_EQ(buttons.size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    ShowError(nullptr, Caught([] { throw std::runtime_error("Не удалось"); }));
    EXPECT_TRUE(modal);
    EXPECT_EQ(title, "ui_tests") << "the test program's file name";
    EXPECT_EQ(text, "Не удалось.");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

// An empty or short message must not leave the box so narrow that the
// window manager cuts its title.
TEST(ErrorDisplayTest, BoxIsWideEnoughForItsWholeTitle)
{
    for (const char* message : {"", "x", "Не удалось"}) {
        SCOPED_TRACE(message);
        int width = 0;
        int titleWidth = 0;
        WhenModalOpens([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr);
            QFont titleFont = box->font();
            titleFont.setBold(true);
            titleWidth = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle());
            width = box->width();
            box->button(QMessageBox::Ok)->click();
        });
        ShowError(nullptr, Caught([&] { throw std::runtime_error(message); }));
        EXPECT_GE(width, titleWidth + 4 * 32) << "title and title-bar controls";
    }
}

}  // namespace
