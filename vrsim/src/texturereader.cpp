#include "texturereader.h"

#include <cstdio>

#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace vrsim {

namespace {

// Desktop GL calls outside the ES subset that QOpenGLFunctions covers.
using GetTexLevelParameteriv = void (*)(GLenum, GLint, GLenum, GLint*);
using GetTexImage = void (*)(GLenum, GLint, GLenum, GLenum, void*);

#ifndef GL_PACK_ROW_LENGTH
#define GL_PACK_ROW_LENGTH 0x0D02
#endif
#ifndef GL_PACK_SKIP_ROWS
#define GL_PACK_SKIP_ROWS 0x0D03
#endif
#ifndef GL_PACK_SKIP_PIXELS
#define GL_PACK_SKIP_PIXELS 0x0D04
#endif
#ifndef GL_PIXEL_PACK_BUFFER
#define GL_PIXEL_PACK_BUFFER 0x88EB
#endif
#ifndef GL_PIXEL_PACK_BUFFER_BINDING
#define GL_PIXEL_PACK_BUFFER_BINDING 0x88ED
#endif
#ifndef GL_TEXTURE_WIDTH
#define GL_TEXTURE_WIDTH 0x1000
#endif
#ifndef GL_TEXTURE_HEIGHT
#define GL_TEXTURE_HEIGHT 0x1001
#endif

// Saves the bindings and pack settings a readback touches and puts them back on destruction.
class SavedState
{
public:
    SavedState(QOpenGLContext* context, QOpenGLFunctions* gl)
        : m_gl(gl)
    {
        gl->glGetIntegerv(GL_TEXTURE_BINDING_2D, &m_texture);
        gl->glGetIntegerv(GL_PACK_ALIGNMENT, &m_alignment);
        m_desktop = !context->isOpenGLES();
        if (m_desktop) {
            gl->glGetIntegerv(GL_PACK_ROW_LENGTH, &m_rowLength);
            gl->glGetIntegerv(GL_PACK_SKIP_ROWS, &m_skipRows);
            gl->glGetIntegerv(GL_PACK_SKIP_PIXELS, &m_skipPixels);
        }
        m_packBuffers = context->format().version() >= qMakePair(2, 1);
        if (m_packBuffers)
            gl->glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_packBuffer);
    }

    ~SavedState()
    {
        m_gl->glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m_texture));
        m_gl->glPixelStorei(GL_PACK_ALIGNMENT, m_alignment);
        if (m_desktop) {
            m_gl->glPixelStorei(GL_PACK_ROW_LENGTH, m_rowLength);
            m_gl->glPixelStorei(GL_PACK_SKIP_ROWS, m_skipRows);
            m_gl->glPixelStorei(GL_PACK_SKIP_PIXELS, m_skipPixels);
        }
        if (m_packBuffers)
            m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_packBuffer));
    }

    void prepareForReadback()
    {
        m_gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
        if (m_desktop) {
            m_gl->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
            m_gl->glPixelStorei(GL_PACK_SKIP_ROWS, 0);
            m_gl->glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        }
        if (m_packBuffers)
            m_gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }

private:
    QOpenGLFunctions* m_gl;
    bool m_desktop = false;
    bool m_packBuffers = false;
    GLint m_texture = 0;
    GLint m_alignment = 4;
    GLint m_rowLength = 0;
    GLint m_skipRows = 0;
    GLint m_skipPixels = 0;
    GLint m_packBuffer = 0;
};

QSize levelSize(QOpenGLContext* context, QOpenGLFunctions* gl, GLuint texture)
{
    auto getLevelParameter =
        reinterpret_cast<GetTexLevelParameteriv>(context->getProcAddress("glGetTexLevelParameteriv"));
    if (!getLevelParameter || !gl->glIsTexture(texture))
        return {};
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    GLint width = 0;
    GLint height = 0;
    getLevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    getLevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    return QSize(width, height);
}

} // namespace

QSize TextureReader::size(unsigned int texture)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || context->isOpenGLES())
        return {};
    QOpenGLFunctions* gl = context->functions();
    SavedState saved(context, gl);
    return levelSize(context, gl, texture);
}

QImage TextureReader::read(unsigned int texture)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context) {
        std::fprintf(stderr, "vrsim: no current OpenGL context; frame %u not read back\n", texture);
        return {};
    }
    if (context->isOpenGLES()) {
        std::fprintf(stderr, "vrsim: texture readback needs desktop OpenGL; frame not read back\n");
        return {};
    }
    auto getTexImage = reinterpret_cast<GetTexImage>(context->getProcAddress("glGetTexImage"));
    QOpenGLFunctions* gl = context->functions();
    SavedState saved(context, gl);
    const QSize levelPixels = levelSize(context, gl, texture);
    if (!getTexImage || levelPixels.isEmpty() || levelPixels.width() > 16384 || levelPixels.height() > 16384) {
        std::fprintf(stderr, "vrsim: texture %u cannot be read back (size %dx%d)\n", texture, levelPixels.width(),
                     levelPixels.height());
        return {};
    }
    // Clear what is pending so that an error after the read means the read failed.
    while (gl->glGetError() != GL_NO_ERROR) {
    }
    saved.prepareForReadback();
    QImage image(levelPixels, QImage::Format_RGBA8888_Premultiplied);
    getTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    if (const GLenum error = gl->glGetError(); error != GL_NO_ERROR) {
        std::fprintf(stderr, "vrsim: reading texture %u failed with GL error 0x%x\n", texture, error);
        return {};
    }
    // GL rows start at the bottom.
    return image.mirrored();
}

} // namespace vrsim
