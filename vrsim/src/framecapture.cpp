#include "framecapture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QDir>
#include <QFile>

namespace vrsim {

FrameCapture::FrameCapture(std::string directory, CaptureMode mode)
    : m_directory(std::move(directory))
    , m_mode(mode)
{
    if (m_directory.empty())
        return;
    if (!QDir().mkpath(QString::fromStdString(m_directory))) {
        std::fprintf(stderr, "vrsim: cannot create capture directory \"%s\"\n", m_directory.c_str());
        m_directory.clear();
        return;
    }
    const std::string logPath = m_directory + "/frames.log";
    m_log = std::fopen(logPath.c_str(), "a");
    if (!m_log)
        std::fprintf(stderr, "vrsim: cannot open \"%s\": %s\n", logPath.c_str(), std::strerror(errno));
}

FrameCapture::~FrameCapture()
{
    if (m_log)
        std::fclose(m_log);
}

void FrameCapture::record(int index, double timeMs, unsigned int texture, QSize size, const QImage& image)
{
    if (!enabled())
        return;
    std::string png = "-";
    if (m_mode != CaptureMode::None && !image.isNull()) {
        char name[32];
        if (m_mode == CaptureMode::All)
            std::snprintf(name, sizeof name, "frame-%06d.png", index);
        else
            std::snprintf(name, sizeof name, "last.png");
        const QString target = QString::fromStdString(m_directory + "/" + name);
        // Saved aside and renamed, so a reader polling the file never sees half a PNG.
        const QString partial = target + QStringLiteral(".part");
        if (image.save(partial, "PNG")
            && std::rename(partial.toLocal8Bit().constData(), target.toLocal8Bit().constData()) == 0)
            png = name;
        else
            std::fprintf(stderr, "vrsim: cannot write \"%s\"\n", target.toLocal8Bit().constData());
    }
    if (m_log) {
        std::fprintf(m_log, "frame=%d time_ms=%.3f texture=%u width=%d height=%d png=%s\n", index, timeMs, texture,
                     size.width(), size.height(), png.c_str());
        std::fflush(m_log);
    }
}

} // namespace vrsim
