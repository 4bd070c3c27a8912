#include "messageage.h"

#include <QDateTime>

namespace MessageTiming {

qint64 publishedAt(const MessageAge& age, qint64 receivedAt)
{
    if (age.expiryLeftSeconds < 0)
        return receivedAt;
    // A broker whose clock was set back returns more than it was given: no age then.
    const qint64 ageSeconds = qMax<qint64>(0, kRetainedLifetimeSeconds - age.expiryLeftSeconds);
    return receivedAt - ageSeconds * 1000;
}

Freshness judge(const StationCommand& command, const MessageAge& age, qint64 now)
{
    Freshness result;
    if (age.expiryLeftSeconds >= 0) {
        result.leftMs = age.expiryLeftSeconds * 1000 - age.heldHereMs;
        result.fresh = result.leftMs > 0;
        if (!result.fresh)
            result.reason =
                QString("its lifetime ran out while it waited unread on this station (%1 s); not carried out")
                    .arg((age.heldHereMs + 500) / 1000);
        return result;
    }
    result.leftMs = command.expires - now;
    result.fresh = result.leftMs > 0;
    if (!result.fresh)
        result.reason = QString("expired at %1 (this station's clock), before it arrived; not carried out")
                            .arg(QDateTime::fromMSecsSinceEpoch(command.expires).toString("yyyy-MM-dd hh:mm:ss"));
    return result;
}

bool shiftOf(const StationStatus& status, const MessageAge& age, qint64 receivedAt, qint64* shift)
{
    if (status.at == 0 || age.expiryLeftSeconds < 0)
        return false;
    *shift = publishedAt(age, receivedAt) - status.at;
    return true;
}

namespace {

// Moves the station's times of a status by `shift`; with no shift known, those that cannot be
// placed become 0 (not known).
void moveTimes(StationStatus* status, const qint64* shift)
{
    const auto move = [shift](qint64* time) {
        if (*time)
            *time = shift ? *time + *shift : 0;
    };
    if (status->lastLaunch)
        move(&status->lastLaunch->at);
    if (status->session) {
        move(&status->session->startedAt);
        move(&status->session->endsAt);
        move(&status->session->endedAt);
    }
    if (status->help) {
        move(&status->help->at);
        move(&status->help->answeredAt);
    }
}

} // namespace

StationStatus onReaderClock(const StationStatus& status, const MessageAge& age, qint64 receivedAt,
                            const qint64* knownShift)
{
    StationStatus moved = status;
    qint64 shift = 0;
    if (shiftOf(status, age, receivedAt, &shift)) {
        moved.at += shift;
    } else if (status.at == 0 && age.expiryLeftSeconds >= 0) {
        // The last will: the broker sent it the moment the connection died.
        moved.since = publishedAt(age, receivedAt);
        moveTimes(&moved, knownShift);
        return moved;
    } else {
        return moved; // no count from the broker: the two clocks are taken to agree
    }
    if (status.since)
        moved.since = status.since + shift;
    moveTimes(&moved, &shift);
    return moved;
}

} // namespace MessageTiming
