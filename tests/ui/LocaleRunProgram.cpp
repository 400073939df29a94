// The window's start-up followed by one whole cleaning run on the database
// named by argv[1], in whatever locale the environment sets: the file is
// chosen in the window's file question and the clear button is pressed, as
// the operator would. Prints each line of the trace pane as
// "<colour> <text>" in UTF-8.
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <cstdio>

#include "ui/FileNameDialog.h"
#include "ui/Main.h"
#include "ui/StartUp.h"
#include "ui/TracePane.h"

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 2;
    UseUtf8CharacterType();
    QApplication application(argc, argv);
    // As the file dialog hands it over: decoded from the file system's bytes.
    TMainForm form(nullptr, std::make_unique<GivenFileDialog>(QFile::decodeName(argv[1])));
    form.show();
    form.FileOpenButton->click();
    form.ClearDBButton->click();
    const QTextDocument& document = *form.TraceRichEdit->document();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block == document.lastBlock() && block.text().isEmpty())
            break;  // nothing after the final line break
        const QTextBlock::iterator first = block.begin();
        const QTextCharFormat format = first.atEnd() ? block.charFormat() : first.fragment().charFormat();
        const QByteArray line = format.foreground().color().name().toUtf8() + ' ' + block.text().toUtf8() + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    }
    return 0;
}
