#pragma once

#include "venueprotocol.h"

#include <QString>

// How old a message is, told without comparing two machines' wall clocks: the broker counts
// down a message's MQTT 5 expiry interval while it holds it and delivers what is left, and the
// receiver knows on its own monotonic clock how long the message may have lain unread with it.
struct MessageAge {
    // The expiry interval left when the broker delivered it, in seconds; -1 when it had none
    // (sent without one, or by an MQTT 3.1.1 client).
    qint64 expiryLeftSeconds = -1;
    // How long, at most, it lay unread on this machine: the event loop stood still (the process
    // was frozen or busy) while it waited in the socket.
    qint64 heldHereMs = 0;
};

namespace MessageTiming {

// Every retained status (the last will too) goes out with this expiry interval, ten years: what the broker has left of it tells a reader how long ago it was published.
constexpr qint64 kRetainedLifetimeSeconds = 10LL * 365 * 24 * 60 * 60;

// When a message sent with kRetainedLifetimeSeconds was published, on the reader's clock: it was
// received at `receivedAt`. One without an expiry counts as just published.
qint64 publishedAt(const MessageAge& age, qint64 receivedAt);

// Whether a command is still wanted, and for how long. With the broker's count the station
// judges by it alone, less the time the command lay unread here; without one (an MQTT 3.1.1
// sender) by `expires`, which only holds where the two clocks agree.
struct Freshness {
    bool fresh = false;
    qint64 leftMs = 0; // how much of its lifetime is left; negative once past it
    QString reason;    // why it is not fresh
};
Freshness judge(const StationCommand& command, const MessageAge& age, qint64 now);

// A station's times (since, the last launch, the session's and the help call's) moved onto the
// reader's clock: the status says when the station sent it on the station's clock (`at`), the
// broker how long ago that was. A last will (no `at`) was sent by the broker when the connection
// died: its `since` becomes that moment and its other times are not known (0) unless
// `knownShift` gives the station's clock as the reader last knew it.
StationStatus onReaderClock(const StationStatus& status, const MessageAge& age, qint64 receivedAt,
                            const qint64* knownShift = nullptr);
// How far the station's clock lies behind the reader's, from a status that has `at`; the
// reader adds it to the station's times.
bool shiftOf(const StationStatus& status, const MessageAge& age, qint64 receivedAt, qint64* shift);

} // namespace MessageTiming
