#pragma once

#include <QList>
#include <QString>

// A station's station.conf or the desk's console.conf as lines: "[section]" headers and
// key=value lines; blank lines and lines starting with # or ; are left out.
class ConfFile
{
public:
    struct Entry {
        QString section;
        QString key;
        QString value;
        int line = 0;
    };

    // False, with "<file>:<line>: <reason>" or "<file>: <reason>", when the file cannot be read
    // or a line is neither a header nor key=value.
    static bool read(const QString& path, ConfFile* file, QString* error);

    QString path() const { return m_path; }
    // The entries of one section, in file order.
    QList<Entry> section(const QString& name) const;
    // "<file>:<line>: ", to start a reason about an entry.
    QString where(const Entry& entry) const;

private:
    QString m_path;
    QList<Entry> m_entries;
};
