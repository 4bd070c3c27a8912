#include "presentation.h"

#include "vroverlay.h"

#include <easylogging++.h>

#include <QQuickItem>
#include <QQuickWindow>

#include <stdexcept>

void showInDesktopWindow(QQuickItem* rootItem)
{
    auto* window = new QQuickWindow();
    rootItem->setParentItem(window->contentItem());
    // Truncation, not rounding: a 1919.9 wide page gets a 1919 wide window.
    window->setGeometry(0, 0, static_cast<int>(rootItem->width()), static_cast<int>(rootItem->height()));
    window->show();
}

void showInVrDashboard(QQuickItem* rootItem)
{
    // Strictly in this order: connect, open the overlay, then the renderer and the input pump,
    // which need the overlay's handles.
    auto* overlay = new VROverlay();
    overlay->init();
    overlay->open(rootItem);

    // ---- Renderer (NerqOffWindow) and input pump (VRMouse) start here. ----

    LOG(ERROR) << "VR presentation is not available yet: the overlay is open but nothing renders into it";
    throw std::runtime_error("VR presentation is not available yet");
}
