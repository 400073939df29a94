#pragma once

#include <QIcon>

// The tool's icon in every size drawn for it (16 to 256 pixels).
QIcon ApplicationIcon();
