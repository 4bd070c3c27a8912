#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Valve's KeyValues text format, as Steam writes libraryfolders.vdf and appmanifest_*.acf: quoted
// or bare tokens, a key followed by a text value or by a { } block, // comments, #include and
// #base lines (ignored). Keys are looked up without regard to case, since Steam's files mix
// "appid" and "appID".
class KeyValues
{
public:
    KeyValues() = default;
    KeyValues(QString key, QString value);

    // The top-level pairs of `text`, as the children of a nameless object. On bad input returns
    // false and sets `error` to "<fileName>:<line>: <reason>".
    static bool parse(const QByteArray& text, const QString& fileName, KeyValues& root, QString* error);
    // The same for a file on disk; a file that cannot be read is an error too.
    static bool parseFile(const QString& path, KeyValues& root, QString* error);

    const QString& key() const { return m_key; }
    const QString& value() const { return m_value; }
    bool isObject() const { return m_isObject; }
    const std::vector<KeyValues>& children() const { return m_children; }

    // The first child with this key, any case; none when there is no such child.
    const KeyValues* find(const QString& key) const;
    // The text value of that child, or empty when it is missing or an object.
    QString text(const QString& key) const;

private:
    friend class KeyValuesParser;

    QString m_key;
    QString m_value;
    bool m_isObject = false;
    std::vector<KeyValues> m_children;
};
