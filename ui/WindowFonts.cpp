#include "ui/WindowFonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QRawFont>
#include <QtEndian>
#include <QStringList>

namespace {

const QString Tahoma = QStringLiteral("Tahoma");
// Where Debian's fonts-wine puts its regular Tahoma. Its bold face is left
// out on purpose: its strokes are no heavier than the regular ones, only its
// letters stand wider apart, so bold captions looked light and a path in the
// edit read as if it held spaces. With the regular face alone the font engine
// makes the bold by thickening the strokes, at the regular face's widths.
const char* const WineTahomaFiles[] = {"/usr/share/wine/fonts/tahoma.ttf"};

}  // namespace

QString WindowTypeface()
{
    if (QFontDatabase::families().contains(Tahoma))
        return Tahoma;
    bool registered = false;
    for (const char* file : WineTahomaFiles)
        registered = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(file)) >= 0 || registered;
    if (registered && QFontDatabase::families().contains(Tahoma))
        return Tahoma;
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont CharacterHeightFont(int pixels, bool bold)
{
    QFont font(WindowTypeface());
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFont CellHeightFont(int pixels, bool bold)
{
    QFont font = CharacterHeightFont(pixels, bold);
    // Windows sizes a font by its cell from the face's usWinAscent and
    // usWinDescent; Qt's own line metrics may come from other fields, so
    // read the face's tables where it has them.
    const QRawFont face = QRawFont::fromFont(font);
    const QByteArray os2 = face.fontTable("OS/2");
    const QByteArray head = face.fontTable("head");
    if (os2.size() >= 78 && head.size() >= 20) {
        const int unitsPerEm = qFromBigEndian<quint16>(head.constData() + 18);
        const int cell = qFromBigEndian<quint16>(os2.constData() + 74) + qFromBigEndian<quint16>(os2.constData() + 76);
        if (unitsPerEm > 0 && cell > 0) {
            font.setPixelSize(qRound(double(pixels) * unitsPerEm / cell));
            return font;
        }
    }
    for (int size = pixels; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= pixels)
            break;
    }
    return font;
}
