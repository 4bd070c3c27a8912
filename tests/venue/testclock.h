#pragma once

#include "agentclock.h"

// Time as the test says, for the agent's parts: the wall clock may jump, the monotonic one only
// moves on.
class TestClock : public AgentClock
{
public:
    qint64 wallMs() const override { return wall; }
    qint64 monotonicMs() const override { return monotonic; }

    qint64 wall = 1'800'000'000'000;
    qint64 monotonic = 1'000'000;
};
