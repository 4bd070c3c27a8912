#include "artstyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

QColor ArtStyle::withAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

QFont ArtStyle::font(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void ArtStyle::glow(QPainter& painter, QPointF centre, qreal radius, QColor colour)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0.0, colour);
    g.setColorAt(0.45, withAlpha(colour, colour.alpha() * 2 / 5));
    g.setColorAt(1.0, withAlpha(colour, 0));
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(g);
    painter.drawEllipse(centre, radius, radius);
    painter.restore();
}

void ArtStyle::emblem(QPainter& painter, const QRectF& box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = box.width();

    QLinearGradient fill(box.topLeft(), box.bottomRight());
    fill.setColorAt(0.0, tealBright());
    fill.setColorAt(1.0, QColor(0x00, 0x4c, 0x5e));
    painter.setPen(QPen(withAlpha(tealGlow(), 150), qMax(1.0, w * 0.03)));
    painter.setBrush(fill);
    painter.drawRoundedRect(box.adjusted(w * 0.02, w * 0.02, -w * 0.02, -w * 0.02), w * 0.24, w * 0.24);

    QPainterPath n;
    n.moveTo(box.left() + w * 0.30, box.top() + w * 0.72);
    n.lineTo(box.left() + w * 0.30, box.top() + w * 0.28);
    n.lineTo(box.left() + w * 0.70, box.top() + w * 0.72);
    n.lineTo(box.left() + w * 0.70, box.top() + w * 0.28);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, w * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(n);
    painter.restore();
}
