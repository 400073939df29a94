// Qt's own texts in its dialogs follow the operator's locale.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

#include "tests/ui/WindowTestSupport.h"
#include "ui/StartUp.h"

namespace {

TEST(ToolkitTranslations, FileDialogSpeaksTheLocalesLanguage)
{
    const struct {
        const char* name;
        QLocale locale;
        const char* lookIn;        // the file dialog's folder caption
        const char* fileName;      // its name field's caption
        const char* cancelButton;  // its cancel button
    } rows[] = {
        {"Russian", QLocale(QLocale::Russian, QLocale::Russia), "Перейти к:", "&Имя файла:", "Отмена"},
        {"US English", QLocale(QLocale::English, QLocale::UnitedStates), "Look in:", "File &name:", "Cancel"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QLocale::setDefault(row.locale);
        QTranslator* translator = LoadToolkitTranslations(*qApp);

        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        EXPECT_EQ(Child<QLabel>(&dialog, "lookInLabel")->text(), QString::fromUtf8(row.lookIn));
        EXPECT_EQ(Child<QLabel>(&dialog, "fileNameLabel")->text(), QString::fromUtf8(row.fileName));
        EXPECT_EQ(Child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->text(),
                  QString::fromUtf8(row.cancelButton));

        if (translator != nullptr) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    QLocale::setDefault(QLocale::system());
}

}  // namespace
