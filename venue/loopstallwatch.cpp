#include "loopstallwatch.h"

namespace {

constexpr qint64 kStalledMs = 1500;
// A stall counts for what is read in the same turn of the event loop, whichever of the socket and
// the timer it served first.
constexpr qint64 kSameTurnMs = 100;

} // namespace

void LoopStallWatch::served()
{
    const qint64 pause = m_served.restart();
    if (pause > kStalledMs) {
        m_stallMs = pause;
        m_sinceStall.start();
    }
}

qint64 LoopStallWatch::heldHereMs() const
{
    return m_sinceStall.isValid() && m_sinceStall.elapsed() < kSameTurnMs ? m_stallMs : 0;
}
