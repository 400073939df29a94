#pragma once

#include <QFont>
#include <QString>

// The window's typeface: Tahoma where the system has it, else the
// metric-compatible regular Tahoma that Wine installs (registered here, once;
// bold is drawn by the font engine), else the default sans face.
QString WindowTypeface();

// Tahoma whose characters are `pixels` high (the em height, without internal
// leading): 11 px is Tahoma 8 pt at 96 dpi.
QFont CharacterHeightFont(int pixels, bool bold);
// Tahoma whose whole character cell, internal leading included, is `pixels`
// high as Windows measures it (16 px cell: 13 px characters).
QFont CellHeightFont(int pixels, bool bold);

class QWidget;

// Gives `widget` and every bold control inside it a style that draws bold
// captions as outlines whenever the window is scaled (a scale factor or a
// high Xft.dpi), so they stay as heavy as at 100 %.
void KeepBoldCaptionsBoldWhenScaled(QWidget* widget);
