#include "stationevent.h"

#include "brokerconfig.h"
#include "venuejson.h"
#include "venueprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <vector>

namespace {

// Beyond this a double no longer holds every whole number.
constexpr double kMaxWhole = 9007199254740991.0;
constexpr int kMaxIdLength = 200;
constexpr int kMaxErrorLength = 2000;
constexpr qint64 kMaxSessionSeconds = StationCommand::kMaxSessionSeconds;

enum class Shape { Text, TextOrNull, Whole, Positive };

// One field of a type: its name, its shape, where it goes, and for texts the values it may take.
struct Field {
    const char* name;
    Shape shape;
    QString StationEvent::*text = nullptr;
    qint64 StationEvent::*number = nullptr;
    std::vector<const char*> choices = {};
};

struct Type {
    const char* name;
    StationEvent::Kind kind;
    std::vector<Field> fields;
};

const std::vector<Type>& types()
{
    using E = StationEvent;
    using K = StationEvent::Kind;
    static const std::vector<Type> all{
        {"online", K::Online, {}},
        {"offline", K::Offline, {}},
        {"game-started",
         K::GameStarted,
         {{"gameId", Shape::Text, &E::gameId},
          {"by", Shape::Text, &E::by},
          {"session", Shape::TextOrNull, &E::session}}},
        {"game-ended",
         K::GameEnded,
         {{"gameId", Shape::Text, &E::gameId},
          {"reason", Shape::Text, &E::reason, nullptr, {"player", "time", "desk", "gone"}}}},
        {"session-started",
         K::SessionStarted,
         {{"session", Shape::Text, &E::session},
          {"seconds", Shape::Positive, nullptr, &E::seconds},
          {"gameId", Shape::TextOrNull, &E::gameId}}},
        {"session-extended",
         K::SessionExtended,
         {{"session", Shape::Text, &E::session}, {"seconds", Shape::Positive, nullptr, &E::seconds}}},
        {"session-ended",
         K::SessionEnded,
         {{"session", Shape::Text, &E::session},
          {"reason", Shape::Text, &E::reason, nullptr, {"time", "desk", "player"}},
          {"seconds", Shape::Whole, nullptr, &E::seconds},
          {"playedSeconds", Shape::Whole, nullptr, &E::playedSeconds}}},
        {"help-called", K::HelpCalled, {{"session", Shape::TextOrNull, &E::session}}},
        {"help-answered",
         K::HelpAnswered,
         {{"by", Shape::TextOrNull, &E::by}, {"calledAt", Shape::Positive, nullptr, &E::calledAt}}},
        {"calibrated", K::Calibrated, {}},
        {"ready", K::Ready, {}},
        {"command-failed",
         K::CommandFailed,
         {{"command", Shape::Text, &E::command},
          {"commandId", Shape::Text, &E::commandId},
          {"error", Shape::Text, &E::error},
          {"gameId", Shape::TextOrNull, &E::gameId}}},
        {"events-dropped",
         K::EventsDropped,
         {{"from", Shape::Positive, nullptr, &E::from}, {"to", Shape::Positive, nullptr, &E::to}}},
    };
    return all;
}

bool wholeNumber(const QJsonValue& value, qint64* out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < -kMaxWhole || d > kMaxWhole)
        return false;
    *out = static_cast<qint64>(d);
    return true;
}

bool readText(const QJsonObject& object, const Field& field, QString* out, QString* error)
{
    const QJsonValue value = object.value(QLatin1String(field.name));
    if ((value.isNull() || value.isUndefined()) && field.shape == Shape::TextOrNull)
        return true;
    const int limit = QLatin1String(field.name) == QLatin1String("error") ? kMaxErrorLength : kMaxIdLength;
    if (!value.isString() || value.toString().isEmpty() || value.toString().size() > limit) {
        *error = QString("\"%1\" must be a text of 1 to %2 characters").arg(field.name).arg(limit);
        return false;
    }
    *out = value.toString();
    if (field.choices.empty())
        return true;
    for (const char* choice : field.choices) {
        if (*out == QLatin1String(choice))
            return true;
    }
    *error = QString("\"%1\" may not be \"%2\"").arg(field.name, out->left(kMaxIdLength));
    return false;
}

bool readField(const QJsonObject& object, const Field& field, StationEvent* event, QString* error)
{
    if (field.text)
        return readText(object, field, &(event->*field.text), error);
    qint64 number = 0;
    if (!wholeNumber(object.value(QLatin1String(field.name)), &number) || number < 0
        || (field.shape == Shape::Positive && number < 1)) {
        *error = QString("\"%1\" must be a whole number of at least %2")
                     .arg(field.name)
                     .arg(field.shape == Shape::Positive ? 1 : 0);
        return false;
    }
    event->*field.number = number;
    return true;
}

// What only a whole event can tell: the ranges that fit together.
bool consistent(const StationEvent& event, QString* error)
{
    using K = StationEvent::Kind;
    if ((event.kind == K::SessionStarted || event.kind == K::SessionExtended) && event.seconds > kMaxSessionSeconds) {
        *error = QString("\"seconds\" may be at most %1").arg(kMaxSessionSeconds);
        return false;
    }
    if (event.kind == K::EventsDropped && (event.to < event.from || event.to >= event.seq)) {
        *error = "the dropped range must run forwards and end before the event's own seq";
        return false;
    }
    return true;
}

bool readHead(const QJsonObject& object, const QString& topicStation, StationEvent* event, QString* error)
{
    const QJsonValue station = object.value("station");
    const QJsonValue id = object.value("id");
    const QJsonValue type = object.value("type");
    if (!station.isString() || !isStationId(station.toString())) {
        *error = "\"station\" must be a station id";
        return false;
    }
    event->station = station.toString();
    if (event->station != topicStation) {
        *error = QString("\"station\" is %1, the topic's is %2").arg(event->station, topicStation);
        return false;
    }
    if (!wholeNumber(object.value("seq"), &event->seq) || event->seq < 1) {
        *error = "\"seq\" must be a whole number of at least 1";
        return false;
    }
    if (!wholeNumber(object.value("at"), &event->at) || event->at < 1) {
        *error = "\"at\" must be a time in ms since the epoch";
        return false;
    }
    event->id = QString("%1:%2").arg(event->station).arg(event->seq);
    if (!id.isString() || id.toString() != event->id) {
        *error = QString("\"id\" must be \"%1\", the station's id and seq").arg(event->id);
        return false;
    }
    static const QRegularExpression typeName(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-z][a-z0-9-]{0,39}")));
    if (!type.isString() || !typeName.match(type.toString()).hasMatch()) {
        *error = "\"type\" must be a type's name";
        return false;
    }
    event->type = type.toString();
    return true;
}

} // namespace

std::optional<StationEvent> StationEvent::parse(const QString& topicStation, const QByteArray& payload, QString* error)
{
    if (payload.size() > kMaxBytes) {
        *error = QString("%1 bytes, more than an event's %2").arg(payload.size()).arg(kMaxBytes);
        return std::nullopt;
    }
    QJsonObject object;
    if (!VenueJson::readObject(payload, &object, error))
        return std::nullopt;
    StationEvent event;
    if (!readHead(object, topicStation, &event, error))
        return std::nullopt;
    for (const Type& type : types()) {
        if (event.type != QLatin1String(type.name))
            continue;
        event.kind = type.kind;
        for (const Field& field : type.fields) {
            if (!readField(object, field, &event, error)) {
                *error = event.type + ": " + *error;
                return std::nullopt;
            }
        }
    }
    if (!consistent(event, error))
        return std::nullopt;
    event.payload = payload;
    return event;
}

QString StationEvent::typeName(Kind kind)
{
    for (const Type& type : types()) {
        if (type.kind == kind)
            return QString::fromLatin1(type.name);
    }
    return QString();
}
