// A desktop window showing the overlay's latest frame; mouse and wheel in it become the overlay
// events a laser pointer would produce, so the program can be used without a headset.
#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QRasterWindow>
#include <QSizeF>
#include <QTimer>

#include <openvr.h>

namespace vrsim {

class PreviewWindow : public QRasterWindow
{
    Q_OBJECT

public:
    using EventSink = std::function<void(const vr::VREvent_t&)>;

    // overlayEvents gets pointer events, closed the window's close; snapshotPath may be empty.
    PreviewWindow(EventSink overlayEvents, std::function<void()> closed, std::string snapshotPath);

    void showFrame(const QImage& frame, QSizeF mouseScale);

    // A scroll of one unit is a full turn, so a 120-unit notch is 1/24.
    static constexpr float kScrollPerAngleUnit = 1.0f / 2880.0f;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    void sendMouse(uint32_t type, const QPointF& position, Qt::MouseButton button);
    void saveSnapshot();

    EventSink m_overlayEvents;
    std::function<void()> m_closed;
    std::string m_snapshotPath;
    QTimer m_snapshotTimer;
    QImage m_frame;
    QSizeF m_mouseScale{1, 1};
};

} // namespace vrsim
