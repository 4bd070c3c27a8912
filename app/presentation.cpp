#include "presentation.h"

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

void showInVrDashboard(QQuickItem*)
{
    LOG(ERROR) << "VR mode is not available in this build yet; start with -desktop";
    throw std::runtime_error("VR mode unavailable");
}
