#pragma once

#include <QElapsedTimer>

// The event loop's pauses as one connection sees them. The keep-alive timer serves it every
// second; a longer pause means the loop stood still, and a message read right after it may have
// waited in the socket all that time.
class LoopStallWatch
{
public:
    void start() { m_served.start(); }
    // Each time the loop serves the connection (its socket or its timer).
    void served();
    // How long what is read now may have lain unread here.
    qint64 heldHereMs() const;

private:
    QElapsedTimer m_served;
    QElapsedTimer m_sinceStall;
    qint64 m_stallMs = 0;
};
