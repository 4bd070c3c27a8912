#pragma once

class QQuickItem;

// The two ways of showing the page. Both leave their objects alive until the process ends.

// An ordinary window at (0, 0), sized from the root item.
void showInDesktopWindow(QQuickItem* rootItem);

// The VR dashboard: connect to the runtime, open the overlay, render offscreen on demand and
// pump the pointer events. Failures arrive as std::runtime_error.
void showInVrDashboard(QQuickItem* rootItem);
