#pragma once

#include "venueprotocol.h"

#include <QStringList>

// What nerq-venue status says of how a station is being sold: its help call, its session, whether
// it is ready, its headset. The status's times are on this machine's clock already (DeskSession
// moves them); the session's time left is the station's own figure counted down from when the
// status was sent, never the station's clock against this one.
namespace SessionSummary {

// How long the station's unanswered help call has waited at `now`, in ms; -1 when no call waits,
// 0 for one whose time is not known (its status is the broker's last will).
qint64 helpWaitingMs(const StationStatus& status, qint64 now);
// The session's time left at `now`, in ms, from its figure when the status was sent; -1 when that
// is not known or no session runs.
qint64 timeLeftMs(const StationStatus& status, qint64 now);
// The status line's parts about the help call, the session, readiness and the headset.
QStringList describe(const StationStatus& status, qint64 now);

} // namespace SessionSummary
