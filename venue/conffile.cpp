#include "conffile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

// A configuration file is a few lines; anything larger is not one.
constexpr qint64 kMaxBytes = 64 * 1024;

} // namespace

bool ConfFile::read(const QString& path, ConfFile* file, QString* error)
{
    QFile input(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = path + ": no such file";
        return false;
    }
    if (!info.isFile() || info.size() > kMaxBytes) {
        *error = path + ": not a configuration file (a folder, a device or too large)";
        return false;
    }
    if (!input.open(QIODevice::ReadOnly)) {
        *error = path + ": " + input.errorString();
        return false;
    }
    const QStringList lines = QString::fromUtf8(input.read(kMaxBytes)).split('\n');

    ConfFile result;
    result.m_path = path;
    QString current;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const int equals = line.indexOf('=');
        if (equals < 1) {
            *error = QString("%1:%2: expected key=value, not \"%3\"").arg(path).arg(i + 1).arg(line);
            return false;
        }
        result.m_entries.append({current, line.left(equals).trimmed(), line.mid(equals + 1).trimmed(), i + 1});
    }
    *file = result;
    return true;
}

QList<ConfFile::Entry> ConfFile::section(const QString& name) const
{
    QList<Entry> entries;
    for (const Entry& entry : m_entries)
        if (entry.section == name)
            entries.append(entry);
    return entries;
}

QString ConfFile::where(const Entry& entry) const
{
    return QString("%1:%2: ").arg(m_path).arg(entry.line);
}
