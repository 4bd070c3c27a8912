#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>

class QPainter;

// Colours and shared drawing pieces of the dashboard look, so every picture agrees.
class ArtStyle
{
public:
    static QColor navyDeep() { return QColor(0x05, 0x0c, 0x18); }
    static QColor navy() { return QColor(0x0a, 0x1b, 0x30); }
    static QColor navyLight() { return QColor(0x12, 0x2c, 0x48); }
    static QColor teal() { return QColor(0x00, 0x67, 0x7e); }
    static QColor tealBright() { return QColor(0x1c, 0xb0, 0xc9); }
    static QColor tealGlow() { return QColor(0x5f, 0xe3, 0xf2); }

    static QColor withAlpha(QColor colour, int alpha);
    static QFont font(int pixelSize, bool bold);

    // A soft round light: colour at the centre fading to nothing at the radius.
    static void glow(QPainter& painter, QPointF centre, qreal radius, QColor colour);

    // The brand mark: a rounded teal square with a path-like "N" running through it.
    static void emblem(QPainter& painter, const QRectF& box);
};
