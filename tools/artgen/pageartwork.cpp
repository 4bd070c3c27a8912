#include "pageartwork.h"

#include "artstyle.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage transparentImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// Rounded panel with a soft glow that stays inside the image bounds.
void glowPanel(QPainter& p, const QRectF& body, qreal radius, int glowWidth)
{
    p.setPen(Qt::NoPen);
    for (int i = glowWidth; i > 0; --i) {
        const int alpha = 28 * (glowWidth - i + 1) / glowWidth;
        p.setBrush(ArtStyle::withAlpha(ArtStyle::teal(), alpha / 2));
        p.drawRoundedRect(body.adjusted(-i, -i, i, i), radius + i, radius + i);
    }
}

// The glowing rounded body shared by the button and the panels: vertical gradient, light rim.
void filledPanel(QPainter& p, const QRectF& body, qreal radius, int glowWidth, QColor top, QColor bottom, QPen rim)
{
    glowPanel(p, body, radius, glowWidth);
    QLinearGradient fill(0, body.top(), 0, body.bottom());
    fill.setColorAt(0.0, top);
    fill.setColorAt(1.0, bottom);
    p.setBrush(fill);
    p.setPen(rim);
    p.drawRoundedRect(body, radius, radius);
}

} // namespace

QImage PageArtwork::background()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 1080);
    sky.setColorAt(0.0, QColor(0x07, 0x14, 0x27));
    sky.setColorAt(0.55, QColor(0x0a, 0x1c, 0x32));
    sky.setColorAt(1.0, QColor(0x05, 0x0e, 0x1b));
    p.fillRect(img.rect(), sky);

    ArtStyle::glow(p, QPointF(260, 90), 900, ArtStyle::withAlpha(ArtStyle::teal(), 70));
    ArtStyle::glow(p, QPointF(1750, 980), 1000, QColor(0x0b, 0x3e, 0x5c, 70));
    ArtStyle::glow(p, QPointF(960, 1130), 640, ArtStyle::withAlpha(ArtStyle::tealBright(), 40));

    // A faint floor grid converging on the horizon: the room the walker stands in.
    const QPointF vanish(960, 860);
    for (int i = -14; i <= 14; ++i) {
        QLinearGradient fade(0, 900, 0, 1080);
        fade.setColorAt(0.0, ArtStyle::withAlpha(ArtStyle::tealBright(), 0));
        fade.setColorAt(1.0, ArtStyle::withAlpha(ArtStyle::tealBright(), 26));
        p.setPen(QPen(QBrush(fade), 1.2));
        p.drawLine(vanish, QPointF(960 + i * 190, 1080));
    }
    for (int k = 1; k <= 5; ++k) {
        const qreal t = k / 5.0;
        const qreal y = 900 + 180 * t * t;
        p.setPen(QPen(ArtStyle::withAlpha(ArtStyle::tealBright(), static_cast<int>(4 + 20 * t)), 1.0));
        p.drawLine(QPointF(0, y), QPointF(1920, y));
    }

    // Vignette keeps the corners quiet and the eye on the grid.
    QRadialGradient vignette(QPointF(960, 540), 1150);
    vignette.setColorAt(0.55, QColor(0, 0, 0, 0));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 120));
    p.fillRect(img.rect(), vignette);
    return img;
}

QImage PageArtwork::logo()
{
    QImage img = transparentImage(233, 48);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    ArtStyle::emblem(p, QRectF(1, 1, 46, 46));

    QFont f = ArtStyle::font(31, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    const QString brand = QStringLiteral("NERQ");
    const QString io = QStringLiteral(" I/O");
    // Shrink until the wordmark fits beside the emblem.
    for (;;) {
        QFontMetricsF fm(f);
        if (fm.horizontalAdvance(brand + io) <= 233 - 58 || f.pixelSize() <= 12)
            break;
        f.setPixelSize(f.pixelSize() - 1);
    }
    QFontMetricsF fm(f);
    const qreal baseline = 24 + (fm.ascent() - fm.descent()) / 2;
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QPointF(58, baseline), brand);
    p.setPen(ArtStyle::tealGlow());
    p.drawText(QPointF(58 + fm.horizontalAdvance(brand), baseline), io);
    return img;
}

QImage PageArtwork::button()
{
    QImage img = transparentImage(287, 65);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(3, 3, 281, 59);
    const qreal r = body.height() / 2;
    filledPanel(p, body, r, 3, QColor(0x0b, 0x8d, 0xa6), QColor(0x00, 0x55, 0x69),
                QPen(ArtStyle::withAlpha(ArtStyle::tealGlow(), 170), 1.5));

    // Glassy upper half.
    QLinearGradient shine(0, body.top(), 0, body.center().y());
    shine.setColorAt(0.0, QColor(255, 255, 255, 60));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawRoundedRect(body.adjusted(3, 2, -3, -body.height() / 2), r - 3, r - 3);
    return img;
}

QImage PageArtwork::startLayer()
{
    QImage img = transparentImage(400, 188);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient dim(0, 0, 0, 188);
    dim.setColorAt(0.0, QColor(2, 8, 16, 120));
    dim.setColorAt(1.0, QColor(2, 8, 16, 170));
    p.fillRect(img.rect(), dim);
    ArtStyle::glow(p, QPointF(200, 94), 120, ArtStyle::withAlpha(ArtStyle::tealBright(), 90));

    p.setPen(QPen(ArtStyle::withAlpha(ArtStyle::tealGlow(), 230), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 1.5, 397, 185));

    const QPointF c(200, 94);
    p.setPen(QPen(QColor(255, 255, 255, 220), 3));
    p.setBrush(QColor(255, 255, 255, 45));
    p.drawEllipse(c, 40, 40);

    QPainterPath play;
    play.moveTo(c + QPointF(-12, -19));
    play.lineTo(c + QPointF(21, 0));
    play.lineTo(c + QPointF(-12, 19));
    play.closeSubpath();
    p.setPen(QPen(QColor(255, 255, 255, 235), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawPath(play);
    return img;
}

QImage PageArtwork::messageBackground()
{
    QImage img = transparentImage(818, 309);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(8, 8, 802, 293);
    filledPanel(p, body, 22, 8, QColor(0x10, 0x29, 0x43, 245), QColor(0x07, 0x14, 0x25, 248),
                QPen(ArtStyle::withAlpha(ArtStyle::tealBright(), 200), 2));

    p.save();
    p.setClipRect(body.adjusted(2, 2, -2, -2));
    ArtStyle::glow(p, QPointF(409, 20), 320, ArtStyle::withAlpha(ArtStyle::teal(), 90));
    p.restore();

    // Short accent under the top edge.
    p.setPen(Qt::NoPen);
    p.setBrush(ArtStyle::tealBright());
    p.drawRoundedRect(QRectF(409 - 40, 8, 80, 4), 2, 2);
    return img;
}

QImage PageArtwork::eye()
{
    QImage img = transparentImage(96, 64);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(48, 32);

    ArtStyle::glow(p, c, 34, ArtStyle::withAlpha(ArtStyle::tealBright(), 70));

    QPainterPath lids;
    lids.moveTo(6, 32);
    lids.quadTo(48, -6, 90, 32);
    lids.quadTo(48, 70, 6, 32);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ArtStyle::withAlpha(ArtStyle::navy(), 200));
    p.drawPath(lids);

    p.setPen(QPen(ArtStyle::tealGlow(), 4));
    p.setBrush(ArtStyle::withAlpha(ArtStyle::teal(), 200));
    p.drawEllipse(c, 13, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 5, 5);
    p.drawEllipse(c + QPointF(6, -6), 2.5, 2.5);
    return img;
}

QImage PageArtwork::thumbIcon()
{
    QImage img = transparentImage(256, 256);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF body(4, 4, 248, 248);

    QLinearGradient fill(body.topLeft(), body.bottomRight());
    fill.setColorAt(0.0, ArtStyle::navyLight());
    fill.setColorAt(1.0, ArtStyle::navyDeep());
    p.setBrush(fill);
    p.setPen(QPen(ArtStyle::withAlpha(ArtStyle::tealBright(), 180), 3));
    p.drawRoundedRect(body, 48, 48);

    p.save();
    QPainterPath clip;
    clip.addRoundedRect(body.adjusted(2, 2, -2, -2), 46, 46);
    p.setClipPath(clip);
    ArtStyle::glow(p, QPointF(128, 100), 150, ArtStyle::withAlpha(ArtStyle::teal(), 150));
    p.restore();

    ArtStyle::emblem(p, QRectF(68, 38, 120, 120));

    const QFont f = ArtStyle::font(34, true);
    p.setFont(f);
    const QFontMetricsF fm(f);
    const QString brand = QStringLiteral("NERQ");
    const QString io = QStringLiteral(" I/O");
    const qreal x = 128 - fm.horizontalAdvance(brand + io) / 2;
    p.setPen(Qt::white);
    p.drawText(QPointF(x, 212), brand);
    p.setPen(ArtStyle::tealGlow());
    p.drawText(QPointF(x + fm.horizontalAdvance(brand), 212), io);
    return img;
}
