#include "presentation.h"

#include "nerqoffwindow.h"
#include "vrmouse.h"
#include "vroverlay.h"

#include <QQuickItem>
#include <QQuickWindow>

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

    // The renderer's context must be current before it builds its framebuffer around the item.
    auto* renderer = new NerqOffWindow();
    renderer->createContext();
    renderer->connectOverlay(overlay);
    renderer->setRootItem(rootItem);

    auto* mouse = new VRMouse(overlay, renderer, false);
    mouse->initPumpTimer();
    mouse->startPump();

    // The first frame; every later one is requested by the scene or the pointer.
    renderer->start();
}
