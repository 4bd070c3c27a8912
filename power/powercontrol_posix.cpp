#include "logindpowercontrol.h"

std::unique_ptr<PowerControl> systemPowerControl()
{
    return std::make_unique<LogindPowerControl>(QDBusConnection::systemBus());
}
