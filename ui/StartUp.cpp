#include "ui/StartUp.h"

#include <langinfo.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool CharacterTypeIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
}

// "ru_RU.CP1251@euro" -> "ru_RU.UTF-8"; "C" and "POSIX" have C.UTF-8.
std::string Utf8Variant(std::string name)
{
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "C.UTF-8";
    return name + ".UTF-8";
}

}  // namespace

bool UseUtf8CharacterType()
{
    std::setlocale(LC_ALL, "");
    if (CharacterTypeIsUtf8())
        return false;
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    std::string wanted = Utf8Variant(current != nullptr ? current : "");
    if (std::setlocale(LC_CTYPE, wanted.c_str()) == nullptr) {
        wanted = "C.UTF-8";
        if (std::setlocale(LC_CTYPE, wanted.c_str()) == nullptr)
            return false;
    }
    // The library and Qt read the environment again, and gbak inherits it.
    // LC_ALL would override LC_CTYPE there, so its value moves to each other
    // category that had none of its own.
    if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
        const std::string value = all;
        for (const char* category : {"LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME",
                                     "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT",
                                     "LC_IDENTIFICATION"})
            setenv(category, value.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", wanted.c_str(), 1);
    return CharacterTypeIsUtf8();
}

QTranslator* LoadToolkitTranslations(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    // "qt_<lang>" loads Qt's base module texts (dialogs, message boxes).
    if (!translator->load(QLocale(), QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}
