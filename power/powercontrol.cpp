#include "powercontrol.h"

#include <QDateTime>
#include <QFile>

std::unique_ptr<PowerControl> PowerControl::forThisMachine()
{
    const QString notes = qEnvironmentVariable("NERQ_POWER_NOTES");
    if (!notes.isEmpty())
        return std::make_unique<NotedPowerControl>(notes);
    return systemPowerControl();
}

NotedPowerControl::NotedPowerControl(const QString& file)
    : m_file(file)
{}

void NotedPowerControl::powerOff(const Answer& answer)
{
    note("power-off", answer);
}

void NotedPowerControl::restart(const Answer& answer)
{
    note("restart", answer);
}

void NotedPowerControl::note(const char* what, const Answer& answer)
{
    QFile file(m_file);
    if (!file.open(QIODevice::Append)
        || file.write(QString("%1 %2\n").arg(what).arg(QDateTime::currentMSecsSinceEpoch()).toUtf8()) < 0) {
        answer({false, m_file + ": " + file.errorString()});
        return;
    }
    answer({true, {}});
}
