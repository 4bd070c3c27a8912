#pragma once

#include <QJsonObject>
#include <QString>

#include <initializer_list>

// Reads the fields of one received JSON object, typed and checked, keeping the first problem as
// the reason ("<context>: <what is wrong>"); each reader gives a harmless value after a problem,
// so a message is read whole and judged once at the end.
class JsonFields
{
public:
    // Texts meant for a line on a screen are cut to this many characters.
    static constexpr int kMaxTextLength = 200;

    JsonFields(const QJsonObject& object, QString context);

    qint64 integer(const char* key, qint64 low, qint64 high);
    bool boolean(const char* key);
    // Absent or null gives an empty text.
    QString optionalText(const char* key);
    QString text(const char* key);
    // The index of the value among the names.
    int choice(const char* key, std::initializer_list<const char*> names);
    // An object or null: 1 an object (in *out), 0 null or absent, -1 anything else.
    int objectOrNull(const char* key, QJsonObject* out);

    // Fields that must be there, null where the reader allows it (null reads as 0, -1 or empty).
    // A time: milliseconds since the epoch, from 0 to 2^53, a fraction allowed.
    qint64 time(const char* key);
    qint64 timeOrNull(const char* key);
    // -1 for null.
    qint64 integerOrNull(const char* key, qint64 low, qint64 high);
    QString textOrNull(const char* key);
    // -1 for null.
    int choiceOrNull(const char* key, std::initializer_list<const char*> names);

    void fail(const QString& reason);
    bool ok() const { return m_error.isEmpty(); }
    // True when every field was right; else false with the reason.
    bool finish(QString* error) const;

private:
    const QJsonObject& m_object;
    QString m_context;
    QString m_error;
};
