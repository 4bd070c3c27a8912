#include "agentclock.h"

#include <QDateTime>

#include <chrono>

qint64 AgentClock::wallMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 AgentClock::monotonicMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const AgentClock& AgentClock::system()
{
    static const AgentClock clock;
    return clock;
}
