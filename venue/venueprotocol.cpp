#include "venueprotocol.h"

#include "brokerconfig.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString kRoot = QStringLiteral("nerq/v1/");
// A status or a command is a few hundred bytes; anything this large is not one.
constexpr int kMaxSmallPayload = 64 * 1024;
constexpr int kMaxIdLength = 200;

bool readObject(const QByteArray& payload, QJsonObject* object, QString* error)
{
    if (payload.size() > kMaxSmallPayload) {
        *error = QString("%1 bytes, too large").arg(payload.size());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = "not JSON: " + parseError.errorString();
        return false;
    }
    if (!document.isObject()) {
        *error = "not a JSON object";
        return false;
    }
    *object = document.object();
    return true;
}

// A text field: absent or null gives `fallback` when it is optional.
bool text(const QJsonObject& object, const char* key, bool required, QString* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        if (required) {
            *error = QString("\"%1\" is missing").arg(key);
            return false;
        }
        out->clear();
        return true;
    }
    if (!value.isString()) {
        *error = QString("\"%1\" must be a text").arg(key);
        return false;
    }
    *out = value.toString();
    return true;
}

// A time or another whole number, within what a double carries exactly.
bool number(const QJsonObject& object, const char* key, bool required, qint64* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        if (required) {
            *error = QString("\"%1\" is missing").arg(key);
            return false;
        }
        *out = 0;
        return true;
    }
    const double d = value.toDouble();
    if (!value.isDouble() || d != d || d < -9007199254740992.0 || d > 9007199254740992.0) {
        *error = QString("\"%1\" must be a number").arg(key);
        return false;
    }
    *out = static_cast<qint64>(d);
    return true;
}

QJsonValue textOrNull(const QString& value)
{
    return value.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(value);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

namespace VenueTopics {

QString status(const QString& station)
{
    return kRoot + "stations/" + station + "/status";
}

QString commands(const QString& station)
{
    return kRoot + "stations/" + station + "/commands";
}

QString results(const QString& station)
{
    return kRoot + "stations/" + station + "/results";
}

QString allStatuses()
{
    return status("+");
}

QString allResults()
{
    return results("+");
}

QString catalogue()
{
    return kRoot + "catalogue";
}

QString picture(const QString& sha256)
{
    return kRoot + "pictures/" + sha256;
}

QString stationOf(const QString& topic, const QString& leaf)
{
    const QString head = kRoot + "stations/";
    const QString tail = '/' + leaf;
    if (!topic.startsWith(head) || !topic.endsWith(tail))
        return {};
    const QString id = topic.mid(head.size(), topic.size() - head.size() - tail.size());
    return isStationId(id) ? id : QString();
}

QString pictureOf(const QString& topic)
{
    const QString head = kRoot + "pictures/";
    return topic.startsWith(head) ? topic.mid(head.size()) : QString();
}

} // namespace VenueTopics

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QByteArray StationStatus::toJson() const
{
    QJsonObject object{{"online", online},
                       {"station", station},
                       {"version", version},
                       {"host", host},
                       {"since", since ? QJsonValue(double(since)) : QJsonValue(QJsonValue::Null)},
                       {"runningGame", textOrNull(runningGame)},
                       {"steamRunningAppId", steamRunningAppId},
                       {"catalogueRevision", textOrNull(catalogueRevision)},
                       {"hiddenGames", QJsonArray::fromStringList(hiddenGames)},
                       {"deviceService", deviceService}};
    if (lastLaunch)
        object.insert(
            "lastLaunch",
            QJsonObject{{"gameId", lastLaunch->gameId}, {"at", double(lastLaunch->at)}, {"by", lastLaunch->by}});
    else
        object.insert("lastLaunch", QJsonValue(QJsonValue::Null));
    return compact(object);
}

bool StationStatus::parse(const QByteArray& payload, StationStatus* status, QString* error)
{
    QJsonObject object;
    if (!readObject(payload, &object, error))
        return false;
    StationStatus result;
    if (!object.value("online").isBool()) {
        *error = "\"online\" must be true or false";
        return false;
    }
    result.online = object.value("online").toBool();
    qint64 steamApp = 0;
    if (!text(object, "station", true, &result.station, error)
        || !text(object, "version", false, &result.version, error) || !text(object, "host", false, &result.host, error)
        || !number(object, "since", false, &result.since, error)
        || !text(object, "runningGame", false, &result.runningGame, error)
        || !number(object, "steamRunningAppId", false, &steamApp, error)
        || !text(object, "catalogueRevision", false, &result.catalogueRevision, error))
        return false;
    result.steamRunningAppId = static_cast<int>(steamApp);
    const QJsonValue hidden = object.value("hiddenGames");
    if (!hidden.isUndefined() && !hidden.isNull()) {
        if (!hidden.isArray()) {
            *error = "\"hiddenGames\" must be a list";
            return false;
        }
        for (const QJsonValue& id : hidden.toArray()) {
            if (!id.isString()) {
                *error = "\"hiddenGames\" must list texts";
                return false;
            }
            result.hiddenGames << id.toString();
        }
    }
    const QJsonValue launch = object.value("lastLaunch");
    if (launch.isObject()) {
        LaunchRecord record;
        const QJsonObject launchObject = launch.toObject();
        if (!text(launchObject, "gameId", true, &record.gameId, error)
            || !number(launchObject, "at", false, &record.at, error)
            || !text(launchObject, "by", false, &record.by, error))
            return false;
        result.lastLaunch = record;
    } else if (!launch.isUndefined() && !launch.isNull()) {
        *error = "\"lastLaunch\" must be an object or null";
        return false;
    }
    result.deviceService = object.value("deviceService").toBool();
    *status = result;
    return true;
}

bool StationStatus::operator==(const StationStatus& other) const
{
    const auto sameLaunch = [](const std::optional<LaunchRecord>& a, const std::optional<LaunchRecord>& b) {
        return a.has_value() == b.has_value() && (!a || (a->gameId == b->gameId && a->at == b->at && a->by == b->by));
    };
    return online == other.online && station == other.station && version == other.version && host == other.host
           && since == other.since && runningGame == other.runningGame && steamRunningAppId == other.steamRunningAppId
           && sameLaunch(lastLaunch, other.lastLaunch) && catalogueRevision == other.catalogueRevision
           && hiddenGames == other.hiddenGames && deviceService == other.deviceService;
}

QByteArray StationCommand::toJson() const
{
    QJsonObject object{{"id", id}, {"command", command}, {"expires", double(expires)}};
    if (!gameId.isEmpty())
        object.insert("gameId", gameId);
    if (!by.isEmpty())
        object.insert("by", by);
    if (!station.isEmpty())
        object.insert("station", station);
    return compact(object);
}

bool StationCommand::parse(const QByteArray& payload, StationCommand* command, QString* error)
{
    *command = StationCommand();
    QJsonObject object;
    if (!readObject(payload, &object, error))
        return false;
    const QJsonValue id = object.value("id");
    if (id.isString() && !id.toString().isEmpty() && id.toString().size() <= kMaxIdLength)
        command->id = id.toString();
    else {
        *error = QString("\"id\" must be a text of 1 to %1 characters").arg(kMaxIdLength);
        return false;
    }
    if (!text(object, "command", true, &command->command, error)
        || !number(object, "expires", true, &command->expires, error)
        || !text(object, "gameId", false, &command->gameId, error) || !text(object, "by", false, &command->by, error)
        || !text(object, "station", false, &command->station, error))
        return false;
    if (command->command != QLatin1String("launch") && command->command != QLatin1String("calibrate")
        && command->command != QLatin1String("scan")) {
        *error = "unknown command \"" + command->command + "\" (launch, calibrate or scan)";
        return false;
    }
    if (command->command == QLatin1String("launch") && command->gameId.isEmpty()) {
        *error = "launch needs a \"gameId\"";
        return false;
    }
    if (command->by.size() > kMaxIdLength)
        command->by.truncate(kMaxIdLength);
    return true;
}

QByteArray CommandResult::toJson() const
{
    QJsonObject object{{"id", textOrNull(id)}, {"station", station}, {"ok", ok}, {"at", double(at)}};
    if (!ok)
        object.insert("error", error);
    return compact(object);
}

bool CommandResult::parse(const QByteArray& payload, CommandResult* result, QString* error)
{
    QJsonObject object;
    if (!readObject(payload, &object, error))
        return false;
    CommandResult parsed;
    if (!object.value("ok").isBool()) {
        *error = "\"ok\" must be true or false";
        return false;
    }
    parsed.ok = object.value("ok").toBool();
    if (!text(object, "id", false, &parsed.id, error) || !text(object, "station", false, &parsed.station, error)
        || !text(object, "error", false, &parsed.error, error) || !number(object, "at", false, &parsed.at, error))
        return false;
    *result = parsed;
    return true;
}
