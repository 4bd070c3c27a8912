#include "stopsignal.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

namespace {

std::function<void()> g_stop;

// Runs on a thread of the system's; the stop itself goes to the event loop.
BOOL WINAPI handler(DWORD)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { g_stop(); }, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

bool onStopSignal(std::function<void()> stop, QString* error)
{
    g_stop = std::move(stop);
    if (::SetConsoleCtrlHandler(handler, TRUE))
        return true;
    *error = "SetConsoleCtrlHandler: " + qt_error_string(static_cast<int>(::GetLastError()));
    return false;
}
