#pragma once

#include <QString>
#include <QtGlobal>

// The agent's time. Wall time (milliseconds since the epoch, UTC) is for what the agent tells
// others and what they tell it: a status's `since`, a command's `expires`. Durations are counted on
// the monotonic clock, which nobody can set, so a clock put right by an hour changes none. Tests
// put a clock of their own in place of the system's.
class AgentClock
{
public:
    virtual ~AgentClock() = default;
    virtual qint64 wallMs() const;
    virtual qint64 monotonicMs() const;
    // Milliseconds since the machine started, a suspend included: monotonic too, and unlike the
    // one above it means the same in every process, so what one run of the agent noted a later
    // run on the same boot can count from.
    virtual qint64 bootTimeMs() const;
    // What tells this boot of the machine from the others; empty when it cannot be had.
    virtual QString bootId() const;

    static const AgentClock& system();
};
