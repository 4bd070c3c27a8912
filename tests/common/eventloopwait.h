#pragma once

#include <functional>

// Runs the event loop until `done` or `msecs` passed; returns done().
bool waitUntil(const std::function<bool()>& done, int msecs);
