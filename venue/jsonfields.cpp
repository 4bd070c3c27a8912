#include "jsonfields.h"

#include "venueprotocol.h"

#include <QStringList>

#include <cmath>
#include <utility>

JsonFields::JsonFields(const QJsonObject& object, QString context)
    : m_object(object)
    , m_context(std::move(context))
{}

qint64 JsonFields::integer(const char* key, qint64 low, qint64 high)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    const double d = value.toDouble();
    if (!value.isDouble() || std::floor(d) != d || d < double(low) || d > double(high)) {
        fail(QString("\"%1\" must be a whole number from %2 to %3").arg(key).arg(low).arg(high));
        return low;
    }
    return static_cast<qint64>(d);
}

bool JsonFields::boolean(const char* key)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (!value.isBool())
        fail(QString("\"%1\" must be true or false").arg(key));
    return value.toBool();
}

QString JsonFields::optionalText(const char* key)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isString()) {
        fail(QString("\"%1\" must be a text or null").arg(key));
        return {};
    }
    return value.toString().left(kMaxTextLength);
}

QString JsonFields::text(const char* key)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (!value.isString())
        fail(QString("\"%1\" must be a text").arg(key));
    return value.toString().left(kMaxTextLength);
}

int JsonFields::choice(const char* key, std::initializer_list<const char*> names)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    int index = 0;
    QStringList quoted;
    for (const char* name : names) {
        if (value.isString() && value.toString() == QLatin1String(name))
            return index;
        quoted << QString("\"%1\"").arg(name);
        ++index;
    }
    fail(QString("\"%1\" must be one of %2").arg(key, quoted.join(", ")));
    return 0;
}

int JsonFields::objectOrNull(const char* key, QJsonObject* out)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return 0;
    if (!value.isObject()) {
        fail(QString("\"%1\" must be an object or null").arg(key));
        return -1;
    }
    *out = value.toObject();
    return 1;
}

qint64 JsonFields::time(const char* key)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    const double d = value.toDouble();
    if (!value.isDouble() || !(d >= 0 && d <= double(kLatestTime))) {
        fail(QString("\"%1\" must be a time").arg(key));
        return 0;
    }
    return static_cast<qint64>(d);
}

qint64 JsonFields::timeOrNull(const char* key)
{
    if (m_object.value(QLatin1String(key)).isNull())
        return 0;
    return time(key);
}

qint64 JsonFields::integerOrNull(const char* key, qint64 low, qint64 high)
{
    if (m_object.value(QLatin1String(key)).isNull())
        return -1;
    return integer(key, low, high);
}

QString JsonFields::textOrNull(const char* key)
{
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isNull())
        return {};
    if (!value.isString()) {
        fail(QString("\"%1\" must be a text or null").arg(key));
        return {};
    }
    return value.toString().left(kMaxTextLength);
}

int JsonFields::choiceOrNull(const char* key, std::initializer_list<const char*> names)
{
    if (m_object.value(QLatin1String(key)).isNull())
        return -1;
    return choice(key, names);
}

void JsonFields::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = m_context + ": " + reason;
}

bool JsonFields::finish(QString* error) const
{
    if (!ok() && error)
        *error = m_error;
    return ok();
}
