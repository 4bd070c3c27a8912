#include "sessionkeeper.h"

#include "agentclock.h"
#include "jsonfields.h"
#include "venueprotocol.h"

#include <easylogging++.h>

#include <QJsonArray>

#include <algorithm>
#include <utility>

namespace {

qint64 secondsUp(qint64 ms)
{
    return (std::max<qint64>(0, ms) + 999) / 1000;
}

} // namespace

SessionKeeper::SessionKeeper(const SessionSettings& settings, const AgentClock& clock, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SessionKeeper::look);
}

bool SessionKeeper::active() const
{
    return m_status && m_status->state != SessionState::Ended;
}

qint64 SessionKeeper::remainingMs() const
{
    if (!m_status || m_status->state != SessionState::Running)
        return 0;
    return std::max<qint64>(0, m_endMs - m_clock.bootTimeMs());
}

QString SessionKeeper::startRefusal() const
{
    if (!active())
        return {};
    if (m_status->state == SessionState::TimeUp)
        return "session " + m_status->id + " is in its grace after time's up; extend or end it first";
    return "session " + m_status->id + " runs, " + minutesSeconds(remainingMs()) + " left; extend or end it first";
}

Outcome SessionKeeper::start(const QString& id, qint64 seconds, const QString& gameId)
{
    const QString refusal = startRefusal();
    if (!refusal.isEmpty())
        return Outcome::failed(refusal);
    const qint64 wall = m_clock.wallMs();
    m_status =
        SessionStatus{id, SessionState::Running, seconds, -1, wall, wall + seconds * 1000, 0, SessionEnd::None, gameId};
    m_endMs = m_clock.bootTimeMs() + seconds * 1000;
    m_graceEndMs = 0;
    // No "5 minutes left" at the start of a 5-minute session.
    m_warned.clear();
    for (const int before : m_settings.warnings)
        if (before >= seconds)
            m_warned << before;
    m_ready = false;
    LOG(INFO) << "Session " << id.toStdString() << " started: " << minutesSeconds(seconds * 1000).toStdString()
              << (gameId.isEmpty() ? std::string() : ", with " + gameId.toStdString());
    emit started(id, seconds, gameId);
    touched();
    return Outcome::done();
}

Outcome SessionKeeper::extend(qint64 seconds)
{
    if (!active())
        return Outcome::failed(m_status ? "session " + m_status->id + " has ended; start a new one"
                                        : QStringLiteral("no session runs to extend"));
    const qint64 now = m_clock.bootTimeMs();
    // In the grace the customer has bought more: the session runs again from now.
    if (m_status->state == SessionState::TimeUp) {
        m_status->state = SessionState::Running;
        m_endMs = now;
        m_graceEndMs = 0;
    }
    m_endMs += seconds * 1000;
    m_status->seconds += seconds;
    m_status->endsAt = m_clock.wallMs() + (m_endMs - now);
    const qint64 remaining = m_endMs - now;
    m_warned.erase(std::remove_if(m_warned.begin(), m_warned.end(),
                                  [remaining](int before) { return qint64(before) * 1000 < remaining; }),
                   m_warned.end());
    LOG(INFO) << "Session " << m_status->id.toStdString() << " extended by "
              << minutesSeconds(seconds * 1000).toStdString() << ", " << minutesSeconds(remaining).toStdString()
              << " left";
    emit extended(m_status->id, seconds);
    touched();
    return Outcome::done();
}

Outcome SessionKeeper::end(SessionEnd reason)
{
    if (!active())
        return Outcome::failed(m_status ? "session " + m_status->id + " has ended already"
                                        : QStringLiteral("no session runs to end"));
    finish(reason);
    touched();
    return Outcome::done();
}

Outcome SessionKeeper::makeReady()
{
    if (active())
        return Outcome::failed(startRefusal().replace("extend or end it first", "end it first"));
    m_status.reset();
    m_ready = true;
    LOG(INFO) << "The station is ready for the next customer";
    emit madeReady();
    touched();
    return Outcome::done();
}

void SessionKeeper::finish(SessionEnd reason)
{
    const qint64 remaining = remainingMs();
    m_status->state = SessionState::Ended;
    m_status->endedAt = m_clock.wallMs();
    m_status->endReason = reason;
    m_graceEndMs = 0;
    const qint64 played = std::max<qint64>(0, m_status->seconds - secondsUp(remaining));
    LOG(INFO) << "Session " << m_status->id.toStdString() << " ended (" << sessionEndName(reason).toStdString()
              << ") after " << minutesSeconds(played * 1000).toStdString() << " of "
              << minutesSeconds(m_status->seconds * 1000).toStdString();
    emit ended(m_status->id, reason, m_status->seconds, played);
    emit endGame(reason);
}

void SessionKeeper::look()
{
    if (!active())
        return;
    const qint64 now = m_clock.bootTimeMs();
    bool change = false;
    if (m_status->state == SessionState::Running) {
        const qint64 remaining = m_endMs - now;
        warnIfDue(remaining);
        if (remaining <= 0) {
            // After a restart the end may have passed long ago: time's up now, with its whole grace.
            m_status->state = SessionState::TimeUp;
            m_graceEndMs = now + qint64(m_settings.graceSeconds) * 1000;
            LOG(INFO) << "Session " << m_status->id.toStdString() << ": time is up; the game is ended in "
                      << m_settings.graceSeconds << " s";
            emit timeUp(m_status->id);
            change = true;
        }
    }
    if (m_status->state == SessionState::TimeUp && now >= m_graceEndMs) {
        finish(SessionEnd::Time);
        change = true;
    }
    if (change)
        touched();
    else if (now - m_notedMs >= kNoteEveryMs) {
        m_notedMs = now;
        emit noteDue();
        schedule();
    } else {
        schedule();
    }
}

void SessionKeeper::warnIfDue(qint64 remaining)
{
    // Several passed at once (the agent was away): one warning, with the time that is left.
    bool due = false;
    for (const int before : m_settings.warnings) {
        if (!m_warned.contains(before) && qint64(before) * 1000 >= remaining) {
            m_warned << before;
            due = true;
        }
    }
    if (due && remaining > 0) {
        LOG(INFO) << "Session " << m_status->id.toStdString() << ": " << minutesSeconds(remaining).toStdString()
                  << " left";
        emit warning(secondsUp(remaining));
    }
}

void SessionKeeper::schedule()
{
    m_timer.stop();
    if (!active())
        return;
    const qint64 now = m_clock.bootTimeMs();
    qint64 due = m_status->state == SessionState::TimeUp ? m_graceEndMs : m_endMs;
    for (const int before : m_settings.warnings)
        if (!m_warned.contains(before))
            due = std::min(due, m_endMs - qint64(before) * 1000);
    m_timer.start(int(std::clamp<qint64>(due - now, 0, kLookMs)));
}

void SessionKeeper::touched()
{
    m_notedMs = m_clock.bootTimeMs();
    emit changed();
    schedule();
}

QJsonValue SessionKeeper::save() const
{
    QJsonObject saved{{"ready", m_ready}};
    if (m_status) {
        saved.insert("session", m_status->toJson());
        saved.insert("endMs", double(m_endMs));
        saved.insert("graceEndMs", double(m_graceEndMs));
        QJsonArray warned;
        for (const int before : m_warned)
            warned.append(before);
        saved.insert("warned", warned);
    }
    return saved;
}

void SessionKeeper::restore(const QJsonValue& value, const AgentState::Moments& moments)
{
    const QJsonObject saved = value.toObject();
    m_ready = saved.value("ready").toBool(true);
    m_status.reset();
    if (!saved.value("session").isObject()) {
        schedule();
        return;
    }
    SessionStatus kept;
    QString error;
    JsonFields fields(saved, "the kept session");
    const qint64 endMs = fields.integer("endMs", -kLatestTime, kLatestTime);
    const qint64 graceEndMs = fields.integer("graceEndMs", -kLatestTime, kLatestTime);
    if (!fields.finish(&error) || !SessionStatus::parse(saved.value("session").toObject(), &kept, &error)) {
        LOG(WARNING) << "The kept session cannot be read (" << error.toStdString() << "); the station has none";
        return;
    }
    m_status = kept;
    m_endMs = moments.toNow(endMs);
    m_graceEndMs = moments.toNow(graceEndMs);
    m_warned.clear();
    for (const QJsonValue& before : saved.value("warned").toArray())
        m_warned << before.toInt();
    if (active()) {
        // Its end as this run sees it, on this machine's clock now.
        m_status->endsAt = m_clock.wallMs() + (m_endMs - m_clock.bootTimeMs());
        LOG(INFO) << "Session " << kept.id.toStdString() << " goes on (" << sessionStateName(kept.state).toStdString()
                  << ", " << minutesSeconds(remainingMs()).toStdString() << " left"
                  << (moments.sameBoot() ? ")" : ", counted by the wall clock across a restart of the machine)");
    }
    m_notedMs = m_clock.bootTimeMs();
    schedule();
}

void SessionKeeper::addTo(QJsonObject& status) const
{
    status.insert("session", m_status ? QJsonValue(m_status->toJson()) : QJsonValue(QJsonValue::Null));
    status.insert("ready", m_ready);
}

void SessionKeeper::addAtSending(QJsonObject& status) const
{
    if (!m_status)
        return;
    QJsonObject shown = status.value("session").toObject();
    shown.insert("remainingSeconds", double(secondsUp(remainingMs())));
    status.insert("session", shown);
}

std::optional<SessionView> SessionKeeper::view() const
{
    if (!m_status)
        return std::nullopt;
    const qint64 grace =
        m_status->state == SessionState::TimeUp ? std::max<qint64>(0, m_graceEndMs - m_clock.bootTimeMs()) : 0;
    return SessionView{m_status->state, remainingMs(), m_status->seconds, m_status->gameId, grace};
}
