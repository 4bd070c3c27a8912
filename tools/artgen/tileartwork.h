#pragma once

#include <QImage>
#include <QString>

// A 400 x 188 picture for a demo game: a small landscape whose motif and hue come from the
// game's position in the catalogue, so neighbouring tiles never look alike, and its title.
class TileArtwork
{
public:
    static constexpr int width = 400;
    static constexpr int height = 188;

    static QImage draw(const QString& title, int index);
};
