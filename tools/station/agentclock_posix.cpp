#include "agentclock.h"

#include <QFile>

#include <time.h>

qint64 AgentClock::bootTimeMs() const
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

QString AgentClock::bootId() const
{
    // The kernel makes a new one at every boot.
    static const QString id = [] {
        QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.read(64).trimmed()) : QString();
    }();
    return id;
}
