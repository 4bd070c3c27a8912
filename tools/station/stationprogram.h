#pragma once

#include <QStringList>

// nerq-station: runs the station agent until stopped. Returns the exit status: 0 stopped, 1 the
// configuration or the station's folders are unusable, 2 a usage error.
int runStation(const QStringList& arguments);
