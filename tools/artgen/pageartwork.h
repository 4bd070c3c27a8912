#pragma once

#include <QImage>

// The fixed pictures of the page and the dashboard thumbnail, at the sizes the page lays them out.
class PageArtwork
{
public:
    static QImage background();        // 1920 x 1080
    static QImage logo();              // 233 x 48, the "NERQ I/O" wordmark
    static QImage button();            // 287 x 65
    static QImage startLayer();        // 400 x 188, laid over a tile while it is hovered
    static QImage messageBackground(); // 818 x 309
    static QImage eye();               // 96 x 64
    static QImage thumbIcon();         // 256 x 256
};
