#pragma once

class QCoreApplication;
class QTranslator;

// Before the application object is made: when the operator's locale does not
// use UTF-8 (LC_ALL=C, ru_RU.CP1251...), the character type becomes its UTF-8
// variant (C.UTF-8 when there is none), for this process and for the gbak it
// starts, leaving the other locale categories as they were. The window hands
// paths to the Firebird client library and to gbak in the file system's
// bytes, which the library converts by the character type: under an ASCII one
// it refused a path with Cyrillic letters. Returns whether it switched.
bool UseUtf8CharacterType();

// After the application object: Qt's own translations for the operator's
// locale, so its file dialog and message box speak the operator's language.
// The translator belongs to `application`; null when none was found.
QTranslator* LoadToolkitTranslations(QCoreApplication& application);
