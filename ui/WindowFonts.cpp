#include "ui/WindowFonts.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QWidget>
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

// The font engine makes a bold from the regular face by widening every glyph
// by a fraction of the font's size. When the window is scaled, the glyphs are
// rasterised at the screen's size but widened by the unscaled amount, so at
// 150 % a bold caption is barely heavier than a regular one and at 200 % not
// visibly so. An outline is widened at the font's size and scales with it.
// At 100 % the engine's own hinted glyphs are kept.
class ScaledBoldStyle : public QProxyStyle {
public:
    void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette, bool enabled,
                      const QString& text, QPalette::ColorRole textRole) const override
    {
        const QTransform& device = painter->deviceTransform();
        const bool scaled = !qFuzzyCompare(device.m11(), 1.0) || !qFuzzyCompare(device.m22(), 1.0);
        // Several lines, mnemonics and greyed text are laid out by the base
        // style; the window's bold captions are none of these.
        if (!scaled || !painter->font().bold() || !enabled || text.isEmpty() ||
            text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('&'))) {
            QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
            return;
        }
        const QFontMetricsF metrics(painter->font());
        const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
        const Qt::Alignment alignment = visualAlignment(painter->layoutDirection(), Qt::Alignment(flags));
        qreal x = rect.left();
        if (alignment & Qt::AlignRight)
            x = rect.left() + rect.width() - size.width();
        else if (alignment & Qt::AlignHCenter)
            x = rect.left() + (rect.width() - size.width()) / 2;
        qreal y = rect.top();
        if (alignment & Qt::AlignBottom)
            y = rect.top() + rect.height() - size.height();
        else if (alignment & Qt::AlignVCenter)
            y = rect.top() + (rect.height() - size.height()) / 2;
        QPainterPath outline;
        outline.addText(QPointF(x, y + metrics.ascent()), painter->font(), text);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setClipRect(rect, Qt::IntersectClip);
        painter->fillPath(outline, textRole == QPalette::NoRole ? painter->pen().color() : palette.color(textRole));
        painter->restore();
    }
};

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

void KeepBoldCaptionsBoldWhenScaled(QWidget* widget)
{
    // Owned by the widget and made after its children, so it outlives every
    // control that draws with it.
    auto* style = new ScaledBoldStyle;
    style->setParent(widget);
    for (QWidget* control : widget->findChildren<QWidget*>())
        if (control->font().bold())
            control->setStyle(style);
}
