#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// How the venue's messages read and write their JSON.
namespace VenueJson {

inline QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// A time in ms since the epoch; 0 or less: null.
inline QJsonValue timeOrNull(qint64 ms)
{
    return ms > 0 ? QJsonValue(double(ms)) : QJsonValue(QJsonValue::Null);
}

inline QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A JSON object from another process, strictly: false, with the reason, for anything else, and
// for an object that gives a key twice.
bool readObject(const QByteArray& json, QJsonObject* object, QString* error);

} // namespace VenueJson
