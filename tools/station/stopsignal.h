#pragma once

#include <functional>

// Calls `stop` on the event loop when the system asks the process to end (SIGTERM, SIGINT and
// SIGHUP on Linux, as a user service is stopped; a console's close or Ctrl+C on Windows).
void onStopSignal(std::function<void()> stop);
