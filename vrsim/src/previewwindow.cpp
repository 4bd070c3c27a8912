#include "previewwindow.h"

#include <cstdio>

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace vrsim {

PreviewWindow::PreviewWindow(EventSink overlayEvents, std::function<void()> closed, std::string snapshotPath)
    : m_overlayEvents(std::move(overlayEvents))
    , m_closed(std::move(closed))
    , m_snapshotPath(std::move(snapshotPath))
{
    setTitle(QStringLiteral("vrsim preview"));
    resize(960, 540);
    // Frames come in bursts; one snapshot after things settle is enough.
    m_snapshotTimer.setSingleShot(true);
    m_snapshotTimer.setInterval(300);
    connect(&m_snapshotTimer, &QTimer::timeout, this, &PreviewWindow::saveSnapshot);
    if (!m_snapshotPath.empty())
        std::fprintf(stderr, "vrsim: preview snapshots go to %s\n", m_snapshotPath.c_str());
}

void PreviewWindow::showFrame(const QImage& frame, QSizeF mouseScale)
{
    m_frame = frame;
    m_mouseScale = mouseScale;
    if (!isVisible())
        show();
    update();
    if (!m_snapshotPath.empty())
        m_snapshotTimer.start();
}

void PreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::black);
    if (!m_frame.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size()), m_frame);
    }
}

void PreviewWindow::saveSnapshot()
{
    if (m_frame.isNull())
        return;
    QImage shot(size(), QImage::Format_RGB32);
    shot.fill(Qt::black);
    {
        QPainter painter(&shot);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(shot.rect(), m_frame);
    }
    const QString target = QString::fromStdString(m_snapshotPath);
    const QString partial = target + QStringLiteral(".part.png");
    if (!shot.save(partial, "PNG")
        || std::rename(partial.toLocal8Bit().constData(), target.toLocal8Bit().constData()) != 0)
        std::fprintf(stderr, "vrsim: cannot write preview snapshot \"%s\"\n", m_snapshotPath.c_str());
}

void PreviewWindow::sendMouse(uint32_t type, const QPointF& position, Qt::MouseButton button)
{
    if (width() <= 0 || height() <= 0)
        return;
    vr::VREvent_t overlayEvent = {};
    overlayEvent.eventType = type;
    // Window pixels to the overlay's mouse units, top-left origin like the page.
    overlayEvent.data.mouse.x = static_cast<float>(position.x() / width() * m_mouseScale.width());
    overlayEvent.data.mouse.y = static_cast<float>(position.y() / height() * m_mouseScale.height());
    switch (button) {
    case Qt::RightButton:
        overlayEvent.data.mouse.button = vr::VRMouseButton_Right;
        break;
    case Qt::MiddleButton:
        overlayEvent.data.mouse.button = vr::VRMouseButton_Middle;
        break;
    case Qt::NoButton:
        overlayEvent.data.mouse.button = 0;
        break;
    default:
        overlayEvent.data.mouse.button = vr::VRMouseButton_Left;
        break;
    }
    m_overlayEvents(overlayEvent);
}

void PreviewWindow::mouseMoveEvent(QMouseEvent* event)
{
    sendMouse(vr::VREvent_MouseMove, event->localPos(), Qt::NoButton);
}

void PreviewWindow::mousePressEvent(QMouseEvent* event)
{
    sendMouse(vr::VREvent_MouseButtonDown, event->localPos(), event->button());
}

void PreviewWindow::mouseReleaseEvent(QMouseEvent* event)
{
    sendMouse(vr::VREvent_MouseButtonUp, event->localPos(), event->button());
}

void PreviewWindow::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    if (angle.isNull())
        return;
    vr::VREvent_t scroll = {};
    scroll.eventType = vr::VREvent_Scroll;
    scroll.data.scroll.xdelta = static_cast<float>(angle.x()) * kScrollPerAngleUnit;
    scroll.data.scroll.ydelta = static_cast<float>(angle.y()) * kScrollPerAngleUnit;
    scroll.data.scroll.repeatCount = 1;
    m_overlayEvents(scroll);
}

bool PreviewWindow::event(QEvent* event)
{
    if (event->type() == QEvent::Close && m_closed)
        m_closed();
    return QRasterWindow::event(event);
}

} // namespace vrsim
