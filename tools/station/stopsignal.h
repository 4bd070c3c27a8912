#pragma once

#include <functional>

#include <QString>

// Calls `stop` on the event loop when the system asks the process to end (SIGTERM, SIGINT and
// SIGHUP on Linux, as a user service is stopped; a console's close or Ctrl+C on Windows). False,
// with the system's reason, when that cannot be arranged.
bool onStopSignal(std::function<void()> stop, QString* error);
