#pragma once

#include "vroverlay.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <memory>

class NerqOffWindow;
class QQmlEngine;
class QQuickItem;
class VRMouse;

// One page of nerq-headset in one overlay, drawn as the program draws its own: the page, loaded
// from a QML file, under a root item of a fixed size; the offscreen renderer that hands each frame
// to the overlay; with a pointer, the pump that turns the laser pointer into mouse events. The page
// and renderer live as long as the process; the overlay lives as long as a runtime connection.
class OverlaySurface : public QObject
{
    Q_OBJECT

public:
    OverlaySurface(QQmlEngine* engine, const OverlayDescription& description, QSize size);
    ~OverlaySurface() override;

    // The OpenGL context; throws std::runtime_error as the renderer does.
    void createRenderer();
    // Puts this page under the root in place of the one before; false with a log line.
    bool loadPage(const QString& file);
    // On a new runtime connection: the overlay, and a frame of the page as it stands. False
    // with a log line when the runtime refuses the overlay.
    bool open();
    // The runtime connection went, and the overlay with it.
    void forget();

    VROverlay& overlay() { return m_overlay; }
    // Null for a surface without a pointer.
    VRMouse* pointer() { return m_pointer.get(); }

private:
    QQmlEngine* m_engine;
    OverlayDescription m_description;
    VROverlay m_overlay;
    std::unique_ptr<QQuickItem> m_root;
    QQuickItem* m_page = nullptr;
    std::unique_ptr<NerqOffWindow> m_renderer;
    std::unique_ptr<VRMouse> m_pointer;
};
