#include "sessionsummary.h"

#include <QDateTime>

namespace SessionSummary {

qint64 helpWaitingMs(const StationStatus& status, qint64 now)
{
    if (!status.help || status.help->answered)
        return -1;
    return status.help->at ? qMax<qint64>(1, now - status.help->at) : 0;
}

qint64 timeLeftMs(const StationStatus& status, qint64 now)
{
    if (!status.session || status.session->state != SessionState::Running || status.session->remainingSeconds < 0
        || status.at == 0)
        return -1;
    return qMax<qint64>(0, status.session->remainingSeconds * 1000 - (now - status.at));
}

namespace {

QString help(const HelpStatus& help, qint64 waiting)
{
    if (help.answered)
        return help.by.isEmpty() ? QStringLiteral("help call answered") : "help call answered by " + help.by;
    return waiting > 0 ? "HELP CALLED, waiting " + minutesSeconds(waiting)
                       : QStringLiteral("HELP CALLED (before it went offline)");
}

QString session(const StationStatus& status, qint64 now)
{
    const SessionStatus& s = *status.session;
    const QString game = s.gameId.isEmpty() ? QString() : " with " + s.gameId;
    switch (s.state) {
    case SessionState::Running: {
        const qint64 left = timeLeftMs(status, now);
        const QString bought = minutesSeconds(s.seconds * 1000);
        return left < 0 ? QString("session of %1%2 running when it went offline").arg(bought, game)
                        : QString("session %1 left of %2%3").arg(minutesSeconds(left), bought, game);
    }
    case SessionState::TimeUp:
        return "session TIME'S UP" + game;
    case SessionState::Ended:
        break;
    }
    const QString reason = s.endReason == SessionEnd::Time     ? QStringLiteral(" (time's up)")
                           : s.endReason == SessionEnd::Desk   ? QStringLiteral(" by the desk")
                           : s.endReason == SessionEnd::Player ? QStringLiteral(" by the player")
                                                               : QString();
    const QString at = s.endedAt ? " at " + QDateTime::fromMSecsSinceEpoch(s.endedAt).toString("hh:mm:ss") : QString();
    return "session ended" + reason + at;
}

} // namespace

QStringList describe(const StationStatus& status, qint64 now)
{
    QStringList parts;
    if (status.help)
        parts << help(*status.help, helpWaitingMs(status, now));
    const bool selling = status.session && status.session->state != SessionState::Ended;
    if (status.session)
        parts << session(status, now);
    if (!selling && status.online)
        parts << (status.ready ? QStringLiteral("free and ready") : QStringLiteral("NOT READY: needs cleaning"));
    if (status.online && !(status.headset.connected && status.headset.vr))
        parts << (status.headset.connected ? QStringLiteral("headset without VR runtime")
                                           : QStringLiteral("NO HEADSET PROGRAM"));
    return parts;
}

} // namespace SessionSummary
