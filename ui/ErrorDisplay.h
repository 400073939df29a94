#pragma once

#include <QString>
#include <exception>

class QWidget;

// The text the operator sees for `error`: of an error and the errors nested
// in it, the innermost non-empty message; a full stop is added when the text
// ends in a character whose code lies above that of '.'. An error that is
// not a std::exception has an empty message.
QString ErrorMessageText(const std::exception_ptr& error);

// The application title: the executable's file name without its folder, cut
// at its first '.', every character after the first in lower case.
QString ApplicationTitle(const QString& executablePath);

// One modal error box with the message and the application's title; returns
// once the operator has pressed OK.
void ShowError(QWidget* parent, const std::exception_ptr& error);
