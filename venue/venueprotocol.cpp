#include "venueprotocol.h"

#include "brokerconfig.h"
#include "venuejson.h"

#include <cmath>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

using VenueJson::compact;
using VenueJson::textOrNull;

namespace {

// A status or a command is a few hundred bytes; anything this large is not one.
constexpr int kMaxSmallPayload = 64 * 1024;
constexpr int kMaxIdLength = 200;
const QStringList kCommands{"launch",         "calibrate",   "scan",        "power", "session-start",
                            "session-extend", "session-end", "help-answer", "ready", "report"};
// More network interfaces than a PC has; a status listing more is not one.
constexpr int kMaxInterfaces = 32;

bool readObject(const QByteArray& payload, QJsonObject* object, QString* error)
{
    if (payload.size() > kMaxSmallPayload) {
        *error = QString("%1 bytes, too large").arg(payload.size());
        return false;
    }
    return VenueJson::readObject(payload, object, error);
}

// Whether a field may be left out, and whether it may be null. A field left out reads as empty (or
// 0); null is only a value where the interface says "or null".
enum class Presence { Required, RequiredOrNull, Optional, OptionalOrNull };

// False, with the reason, when the field is absent or null and may not be; true with `*present`
// telling whether there is a value to read.
bool presence(const QJsonValue& value, const char* key, Presence rule, bool* present, QString* error)
{
    const bool nullAllowed = rule == Presence::RequiredOrNull || rule == Presence::OptionalOrNull;
    const bool absentAllowed = rule == Presence::Optional || rule == Presence::OptionalOrNull;
    *present = !value.isUndefined() && !value.isNull();
    if (value.isUndefined() && !absentAllowed) {
        *error = QString("\"%1\" is missing").arg(key);
        return false;
    }
    if (value.isNull() && !nullAllowed) {
        *error = QString("\"%1\" must not be null").arg(key);
        return false;
    }
    return true;
}

bool text(const QJsonObject& object, const char* key, Presence rule, QString* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    bool present = false;
    out->clear();
    if (!presence(value, key, rule, &present, error))
        return false;
    if (present && !value.isString()) {
        *error = QString("\"%1\" must be a text").arg(key);
        return false;
    }
    *out = value.toString();
    return true;
}

// A time: milliseconds since the epoch, from 0 to what a double carries exactly.
bool time(const QJsonObject& object, const char* key, Presence rule, qint64* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    bool present = false;
    *out = 0;
    if (!presence(value, key, rule, &present, error))
        return false;
    const double d = value.toDouble();
    if (present && (!value.isDouble() || !(d >= 0 && d <= double(kLatestTime)))) {
        *error = QString("\"%1\" must be a time").arg(key);
        return false;
    }
    *out = static_cast<qint64>(d);
    return true;
}

bool boolean(const QJsonObject& object, const char* key, Presence rule, bool* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    bool present = false;
    *out = false;
    if (!presence(value, key, rule, &present, error))
        return false;
    if (present && !value.isBool()) {
        *error = QString("\"%1\" must be true or false").arg(key);
        return false;
    }
    *out = value.toBool();
    return true;
}

} // namespace

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

namespace {

bool readLastLaunch(const QJsonValue& value, std::optional<LaunchRecord>* launch, QString* error)
{
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isObject()) {
        *error = "\"lastLaunch\" must be an object or null";
        return false;
    }
    LaunchRecord record;
    const QJsonObject object = value.toObject();
    if (!text(object, "gameId", Presence::Required, &record.gameId, error)
        || !time(object, "at", Presence::Required, &record.at, error)
        || !text(object, "by", Presence::Optional, &record.by, error)) {
        *error = "\"lastLaunch\": " + *error;
        return false;
    }
    *launch = record;
    return true;
}

// One interface of "network": {"mac": "aa:bb:cc:dd:ee:ff" (either case), "broadcast": IPv4}.
bool readInterface(const QJsonValue& value, NetworkAddress* address, QString* error)
{
    // Anchored at the very end: "$" would let a line break through.
    static const QRegularExpression mac(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}")));
    static const QRegularExpression ipv4(QRegularExpression::anchoredPattern(
        QStringLiteral("(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])){3}")));
    if (!value.isObject()) {
        *error = "an interface must be an object";
        return false;
    }
    const QJsonObject object = value.toObject();
    if (!text(object, "mac", Presence::Required, &address->mac, error)
        || !text(object, "broadcast", Presence::Required, &address->broadcast, error))
        return false;
    if (!mac.match(address->mac).hasMatch()) {
        *error = "\"mac\" must be six bytes in hex, as aa:bb:cc:dd:ee:ff";
        return false;
    }
    if (!ipv4.match(address->broadcast).hasMatch()) {
        *error = "\"broadcast\" must be an IPv4 address";
        return false;
    }
    address->mac = address->mac.toLower();
    return true;
}

bool readNetwork(const QJsonValue& value, QVector<NetworkAddress>* addresses, QString* error)
{
    addresses->clear();
    if (value.isUndefined())
        return true;
    if (!value.isArray() || value.toArray().size() > kMaxInterfaces) {
        *error = QString("\"network\" must be a list of at most %1 interfaces").arg(kMaxInterfaces);
        return false;
    }
    for (const QJsonValue& entry : value.toArray()) {
        NetworkAddress address;
        if (!readInterface(entry, &address, error)) {
            *error = "\"network\": " + *error;
            return false;
        }
        addresses->append(address);
    }
    return true;
}

bool readTexts(const QJsonValue& value, const char* key, QStringList* out, QString* error)
{
    if (value.isUndefined())
        return true;
    if (!value.isArray()) {
        *error = QString("\"%1\" must be a list of texts").arg(key);
        return false;
    }
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) {
            *error = QString("\"%1\" must be a list of texts").arg(key);
            return false;
        }
        *out << item.toString();
    }
    return true;
}

} // namespace

QByteArray networkToJson(const QVector<NetworkAddress>& addresses)
{
    QJsonArray array;
    for (const NetworkAddress& address : addresses)
        array.append(QJsonObject{{"mac", address.mac}, {"broadcast", address.broadcast}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

bool networkFromJson(const QByteArray& json, QVector<NetworkAddress>* addresses, QString* error)
{
    if (json.size() > kMaxSmallPayload) {
        *error = "\"network\" is too large";
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json);
    // Anything but a list is refused as "network" would be.
    return readNetwork(document.isArray() ? QJsonValue(document.array()) : QJsonValue(QJsonValue::Null), addresses,
                       error);
}

bool StationStatus::parse(const QByteArray& payload, StationStatus* status, QString* error)
{
    QJsonObject object;
    if (!readObject(payload, &object, error))
        return false;
    StationStatus result;
    const QJsonValue appId = object.value("steamRunningAppId");
    if (!boolean(object, "online", Presence::Required, &result.online, error)
        || !text(object, "station", Presence::Required, &result.station, error)
        || !text(object, "version", Presence::Optional, &result.version, error)
        || !text(object, "host", Presence::Optional, &result.host, error)
        || !time(object, "since", Presence::OptionalOrNull, &result.since, error)
        || !time(object, "at", Presence::OptionalOrNull, &result.at, error)
        || !text(object, "runningGame", Presence::OptionalOrNull, &result.runningGame, error)
        || !text(object, "catalogueRevision", Presence::OptionalOrNull, &result.catalogueRevision, error)
        || !time(object, "cataloguePublished", Presence::OptionalOrNull, &result.cataloguePublished, error)
        || !boolean(object, "deviceService", Presence::Optional, &result.deviceService, error)
        || !readTexts(object.value("hiddenGames"), "hiddenGames", &result.hiddenGames, error)
        || !readLastLaunch(object.value("lastLaunch"), &result.lastLaunch, error)
        || !readNetwork(object.value("network"), &result.network, error))
        return false;
    SellingStatus selling;
    if (!SellingStatus::parse(object, &selling, error))
        return false;
    result.session = selling.session;
    result.help = selling.help;
    result.ready = selling.ready;
    result.headset = selling.headset;
    // An app id is a whole number that Steam keeps in 32 bits.
    const double app = appId.toDouble();
    if (!appId.isUndefined() && (!appId.isDouble() || !(app >= 0 && app <= 2147483647.0) || app != std::floor(app))) {
        *error = "\"steamRunningAppId\" must be an app id";
        return false;
    }
    result.steamRunningAppId = static_cast<int>(app);
    *status = result;
    return true;
}

bool sameStation(const QString& topicStation, const QString& payloadStation, QString* error)
{
    if (payloadStation == topicStation)
        return true;
    *error = QString("\"station\" is \"%1\", not the topic's").arg(payloadStation);
    return false;
}

namespace {

// Whether the command is one a station knows, with what it needs.
bool knownCommand(const StationCommand& command, QString* error)
{
    const QString& name = command.command;
    if (!kCommands.contains(name)) {
        *error = "unknown command \"" + name + "\" (" + kCommands.join(", ") + ")";
        return false;
    }
    if (name == QLatin1String("launch") && command.gameId.isEmpty()) {
        *error = "launch needs a \"gameId\"";
        return false;
    }
    if (name == QLatin1String("power") && command.action != QLatin1String("off")
        && command.action != QLatin1String("restart")) {
        *error = "power needs an \"action\": off or restart";
        return false;
    }
    return true;
}

} // namespace

QByteArray StationCommand::toJson() const
{
    QJsonObject object{{"id", id}, {"command", command}, {"expires", double(expires)}};
    if (!gameId.isEmpty())
        object.insert("gameId", gameId);
    if (command == QLatin1String("power")) {
        object.insert("action", action);
        object.insert("force", force);
    }
    if (!by.isEmpty())
        object.insert("by", by);
    if (!station.isEmpty())
        object.insert("station", station);
    if (seconds > 0)
        object.insert("seconds", double(seconds));
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
    if (!text(object, "command", Presence::Required, &command->command, error)
        || !time(object, "expires", Presence::Required, &command->expires, error)
        || !text(object, "gameId", Presence::Optional, &command->gameId, error)
        || !text(object, "by", Presence::Optional, &command->by, error)
        || !text(object, "station", Presence::Optional, &command->station, error)
        || !text(object, "action", Presence::Optional, &command->action, error)
        || !boolean(object, "force", Presence::Optional, &command->force, error) || !knownCommand(*command, error))
        return false;
    if (command->command == QLatin1String("session-start") || command->command == QLatin1String("session-extend")) {
        const QJsonValue seconds = object.value("seconds");
        const double value = seconds.toDouble();
        if (!seconds.isDouble() || value != std::floor(value) || value < 1
            || value > double(StationCommand::kMaxSessionSeconds)) {
            *error = QString("%1 needs \"seconds\", a whole number from 1 to %2")
                         .arg(command->command)
                         .arg(StationCommand::kMaxSessionSeconds);
            return false;
        }
        command->seconds = static_cast<qint64>(value);
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
    if (!text(object, "id", Presence::RequiredOrNull, &parsed.id, error)
        || !text(object, "station", Presence::Required, &parsed.station, error)
        || !boolean(object, "ok", Presence::Required, &parsed.ok, error)
        || !text(object, "error", Presence::Optional, &parsed.error, error)
        || !time(object, "at", Presence::Optional, &parsed.at, error))
        return false;
    *result = parsed;
    return true;
}
