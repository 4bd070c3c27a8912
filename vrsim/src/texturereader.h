// Reads an OpenGL texture back into an image with the caller's current context, leaving the
// caller's GL state as it found it.
#pragma once

#include <QImage>
#include <QSize>

namespace vrsim {

class TextureReader
{
public:
    // Size of level 0 of a 2D texture; empty without a current context or for a bad name.
    static QSize size(unsigned int texture);
    // Top row first, premultiplied RGBA; null image on failure (reported on stderr).
    static QImage read(unsigned int texture);
};

} // namespace vrsim
