#pragma once

#include <string>

#include "clean/TDateTime.h"

// The cut-off as it goes into the DELETE statements: "dd.MM.yyyy", followed
// by " H:mm:ss" unless the time of day is exactly midnight (milliseconds
// count, though they are not written). One fixed form, because Firebird reads
// it the same everywhere, whatever the operator's regional settings.
std::string CutOffText(const TDateTime& cutOff);
