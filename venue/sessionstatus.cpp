#include "sessionstatus.h"

#include "jsonfields.h"
#include "venuejson.h"
#include "venueprotocol.h"

using VenueJson::textOrNull;

const char* const kSessionStateNames[3] = {"running", "timeup", "ended"};

namespace {

const char* const kEnds[] = {"time", "desk", "player"};

using VenueJson::timeOrNull;

// One of the status's objects, or null, or left out; anything else is refused.
template <typename Part>
bool readPart(const QJsonObject& status, const char* key, std::optional<Part>* out, QString* error)
{
    const QJsonValue value = status.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isObject()) {
        *error = QString("\"%1\" must be an object or null").arg(key);
        return false;
    }
    Part part;
    if (!Part::parse(value.toObject(), &part, error))
        return false;
    *out = part;
    return true;
}

} // namespace

QString sessionStateName(SessionState state)
{
    return kSessionStateNames[static_cast<int>(state)];
}

QString sessionEndName(SessionEnd reason)
{
    return reason == SessionEnd::None ? QString() : QString(kEnds[static_cast<int>(reason) - 1]);
}

QString minutesSeconds(qint64 ms)
{
    const qint64 seconds = (qMax<qint64>(0, ms) + 999) / 1000;
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject SessionStatus::toJson() const
{
    return {{"id", id},
            {"state", sessionStateName(state)},
            {"seconds", double(seconds)},
            {"remainingSeconds", remainingSeconds >= 0 ? QJsonValue(double(remainingSeconds)) : QJsonValue()},
            {"startedAt", double(startedAt)},
            {"endsAt", double(endsAt)},
            {"endedAt", timeOrNull(endedAt)},
            {"endReason", textOrNull(sessionEndName(endReason))},
            {"gameId", textOrNull(gameId)}};
}

bool SessionStatus::parse(const QJsonObject& object, SessionStatus* session, QString* error)
{
    JsonFields fields(object, "session");
    SessionStatus read;
    read.id = fields.text("id");
    read.state = static_cast<SessionState>(
        fields.choice("state", {kSessionStateNames[0], kSessionStateNames[1], kSessionStateNames[2]}));
    read.seconds = fields.integer("seconds", 0, kLatestTime);
    read.remainingSeconds = fields.integerOrNull("remainingSeconds", 0, kLatestTime);
    read.startedAt = fields.time("startedAt");
    read.endsAt = fields.time("endsAt");
    read.endedAt = fields.timeOrNull("endedAt");
    read.endReason = static_cast<SessionEnd>(fields.choiceOrNull("endReason", {kEnds[0], kEnds[1], kEnds[2]}) + 1);
    read.gameId = fields.textOrNull("gameId");
    if (!fields.finish(error))
        return false;
    *session = read;
    return true;
}

bool SessionStatus::operator==(const SessionStatus& other) const
{
    return id == other.id && state == other.state && seconds == other.seconds
           && remainingSeconds == other.remainingSeconds && startedAt == other.startedAt && endsAt == other.endsAt
           && endedAt == other.endedAt && endReason == other.endReason && gameId == other.gameId;
}

QJsonObject HelpStatus::toJson() const
{
    return {{"at", double(at)}, {"answered", answered}, {"answeredAt", timeOrNull(answeredAt)}, {"by", textOrNull(by)}};
}

bool HelpStatus::parse(const QJsonObject& object, HelpStatus* help, QString* error)
{
    JsonFields fields(object, "help");
    HelpStatus read;
    read.at = fields.time("at");
    read.answered = fields.boolean("answered");
    read.answeredAt = fields.timeOrNull("answeredAt");
    read.by = fields.textOrNull("by");
    if (!fields.finish(error))
        return false;
    *help = read;
    return true;
}

bool HelpStatus::operator==(const HelpStatus& other) const
{
    return at == other.at && answered == other.answered && answeredAt == other.answeredAt && by == other.by;
}

QJsonObject HeadsetStatus::toJson() const
{
    return {{"connected", connected}, {"vr", vr}};
}

bool HeadsetStatus::parse(const QJsonObject& object, HeadsetStatus* headset, QString* error)
{
    JsonFields fields(object, "headset");
    HeadsetStatus read;
    read.connected = fields.boolean("connected");
    read.vr = fields.boolean("vr");
    if (!fields.finish(error))
        return false;
    *headset = read;
    return true;
}

bool SellingStatus::parse(const QJsonObject& status, SellingStatus* selling, QString* error)
{
    SellingStatus read;
    std::optional<HeadsetStatus> headset;
    const QJsonValue ready = status.value("ready");
    if (!ready.isUndefined() && !ready.isBool()) {
        *error = "\"ready\" must be true or false";
        return false;
    }
    read.ready = ready.toBool();
    if (status.value("headset").isNull()) {
        *error = "\"headset\" must be an object";
        return false;
    }
    if (!readPart(status, "session", &read.session, error) || !readPart(status, "help", &read.help, error)
        || !readPart(status, "headset", &headset, error))
        return false;
    read.headset = headset.value_or(HeadsetStatus());
    *selling = read;
    return true;
}
