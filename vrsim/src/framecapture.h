// Writes the submitted frames to VRSIM_CAPTURE_DIR: a line per frame in frames.log and the
// pixels as PNG (every frame, or only the latest as last.png).
#pragma once

#include <cstdio>
#include <string>

#include <QImage>
#include <QSize>

#include "config.h"

namespace vrsim {

class FrameCapture
{
public:
    FrameCapture(std::string directory, CaptureMode mode);
    ~FrameCapture();
    FrameCapture(const FrameCapture&) = delete;
    FrameCapture& operator=(const FrameCapture&) = delete;

    bool enabled() const { return !m_directory.empty(); }
    bool wantsPixels() const { return enabled() && m_mode != CaptureMode::None; }
    void record(int index, double timeMs, unsigned int texture, QSize size, const QImage& image);

private:
    std::string m_directory;
    CaptureMode m_mode;
    std::FILE* m_log = nullptr;
};

} // namespace vrsim
