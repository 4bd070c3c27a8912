#pragma once

#include "powercontrol.h"

#include <QDBusConnection>

// Linux: logind's PowerOff and Reboot (org.freedesktop.login1.Manager), not interactive, so
// polkit decides without asking anyone. The bus is the system's, or a test's own.
class LogindPowerControl : public PowerControl
{
public:
    explicit LogindPowerControl(const QDBusConnection& bus);
    void powerOff(const Answer& answer) override;
    void restart(const Answer& answer) override;

private:
    void call(const char* method, const Answer& answer);

    QDBusConnection m_bus;
};
