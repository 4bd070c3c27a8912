#include "tileartwork.h"

#include "artstyle.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// Small deterministic generator: the same catalogue always gives the same pictures.
class Lcg
{
public:
    explicit Lcg(quint32 seed)
        : state(seed * 2654435761u + 1u)
    {}
    qreal next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / qreal(1u << 24);
    }

private:
    quint32 state;
};

QColor hsv(qreal h, qreal s, qreal v, int alpha = 255)
{
    h -= qFloor(h);
    return QColor::fromHsvF(h, qBound<qreal>(0, s, 1), qBound<qreal>(0, v, 1), alpha / 255.0);
}

// A ridge line across the tile from a few summed waves; filled down to the bottom edge.
QPainterPath ridge(Lcg& rnd, qreal base, qreal amplitude, qreal roughness)
{
    const qreal f1 = 0.008 + rnd.next() * 0.01, f2 = 0.02 + rnd.next() * 0.02 * roughness;
    const qreal p1 = rnd.next() * 6.28, p2 = rnd.next() * 6.28;
    QPainterPath path(QPointF(0, TileArtwork::height));
    for (int x = 0; x <= TileArtwork::width; x += 4) {
        const qreal y = base - amplitude * (0.65 * qSin(x * f1 + p1) + 0.35 * qSin(x * f2 + p2));
        path.lineTo(x, y);
    }
    path.lineTo(TileArtwork::width, TileArtwork::height);
    path.closeSubpath();
    return path;
}

void mountains(QPainter& p, Lcg& rnd, qreal hue)
{
    for (int layer = 0; layer < 3; ++layer) {
        const qreal base = 95 + layer * 28;
        p.setBrush(hsv(hue + 0.02 * layer, 0.55, 0.42 - layer * 0.12));
        p.drawPath(ridge(rnd, base, 38 - layer * 8, 2.0));
    }
}

void waves(QPainter& p, Lcg& rnd, qreal hue)
{
    for (int layer = 0; layer < 4; ++layer) {
        const qreal base = 100 + layer * 20;
        p.setBrush(hsv(hue - 0.03 * layer, 0.7, 0.55 - layer * 0.11, 235));
        p.drawPath(ridge(rnd, base, 9 - layer, 3.0));
    }
}

void city(QPainter& p, Lcg& rnd, qreal hue)
{
    for (int layer = 0; layer < 2; ++layer) {
        const QColor body = hsv(hue, 0.5, 0.22 - layer * 0.1);
        const QColor lit = hsv(hue + 0.45, 0.45, 0.95, 170 + layer * 60);
        qreal x = -rnd.next() * 20;
        while (x < TileArtwork::width) {
            const qreal w = 22 + rnd.next() * 30;
            const qreal top = 60 + layer * 35 + rnd.next() * 60;
            p.setBrush(body);
            p.drawRect(QRectF(x, top, w - 3, TileArtwork::height - top));
            p.setBrush(lit);
            for (qreal wy = top + 8; wy < TileArtwork::height - 6; wy += 11)
                for (qreal wx = x + 5; wx < x + w - 8; wx += 8)
                    if (rnd.next() > 0.72)
                        p.drawRect(QRectF(wx, wy, 3, 4));
            x += w;
        }
    }
}

void space(QPainter& p, Lcg& rnd, qreal hue)
{
    p.setBrush(QColor(255, 255, 255, 200));
    for (int i = 0; i < 70; ++i) {
        const qreal r = 0.5 + rnd.next() * 1.1;
        p.drawEllipse(QPointF(rnd.next() * TileArtwork::width, rnd.next() * TileArtwork::height), r, r);
    }
    const QPointF centre(250 + rnd.next() * 80, 110);
    QRadialGradient planet(centre + QPointF(-20, -25), 90);
    planet.setColorAt(0.0, hsv(hue + 0.08, 0.4, 0.95));
    planet.setColorAt(1.0, hsv(hue, 0.8, 0.25));
    p.setBrush(planet);
    p.drawEllipse(centre, 62, 62);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(hsv(hue + 0.1, 0.3, 0.95, 150), 3));
    p.drawEllipse(centre, 100, 18);
    p.setPen(Qt::NoPen);
}

void dunes(QPainter& p, Lcg& rnd, qreal hue)
{
    for (int layer = 0; layer < 3; ++layer) {
        const qreal base = 110 + layer * 26;
        p.setBrush(hsv(hue + 0.03 * layer, 0.6, 0.75 - layer * 0.2));
        p.drawPath(ridge(rnd, base, 22 - layer * 4, 0.3));
    }
}

} // namespace

QImage TileArtwork::draw(const QString& title, int index)
{
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    Lcg rnd(static_cast<quint32>(index) + 7u);
    const int motif = index % 5;
    // Golden-ratio steps spread the hues of consecutive tiles around the wheel.
    const qreal hue = 0.52 + index * 0.618034;

    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0.0, hsv(hue + 0.05, 0.7, 0.18));
    sky.setColorAt(1.0, hsv(hue - 0.04, 0.55, motif == 4 ? 0.85 : 0.6));
    p.fillRect(img.rect(), sky);

    const QPointF sun(60 + rnd.next() * 280, 45 + rnd.next() * 25);
    ArtStyle::glow(p, sun, 90, hsv(hue + 0.12, 0.35, 1.0, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(hsv(hue + 0.12, 0.15, 1.0, 230));
    if (motif != 3)
        p.drawEllipse(sun, 14, 14);

    switch (motif) {
    case 0:
        mountains(p, rnd, hue);
        break;
    case 1:
        waves(p, rnd, hue);
        break;
    case 2:
        city(p, rnd, hue);
        break;
    case 3:
        space(p, rnd, hue);
        break;
    default:
        dunes(p, rnd, hue);
        break;
    }

    // Darken the lower part so the title reads on any scene.
    QLinearGradient shade(0, 90, 0, height);
    shade.setColorAt(0.0, QColor(0, 0, 0, 0));
    shade.setColorAt(1.0, QColor(2, 6, 12, 190));
    p.fillRect(QRectF(0, 90, width, height - 90), shade);

    const QRectF textBox(18, 86, width - 36, height - 86 - 16);
    QFont f = ArtStyle::font(30, true);
    QRectF used;
    for (;;) {
        used = QFontMetricsF(f).boundingRect(textBox, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignBottom, title);
        if (used.height() <= textBox.height() || f.pixelSize() <= 14)
            break;
        f.setPixelSize(f.pixelSize() - 1);
    }
    p.setFont(f);
    p.setPen(QColor(0, 0, 0, 140));
    p.drawText(textBox.translated(1, 2), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignBottom, title);
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignBottom, title);

    p.setPen(Qt::NoPen);
    p.setBrush(ArtStyle::tealGlow());
    p.drawRoundedRect(QRectF(18, used.top() - 10, 36, 4), 2, 2);
    return img;
}
