#include "commandjournal.h"

#include "fileplatform.h"
#include "safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

} // namespace

CommandJournal::CommandJournal(QString path)
    : m_path(std::move(path))
{}

bool CommandJournal::load(QString* warning)
{
    m_entries.clear();
    if (!QFileInfo::exists(m_path))
        return true;
    const OutsideFile content = OutsideFile::read(m_path, kMaxBytes);
    QJsonParseError parseError{};
    const QJsonDocument document = content.ok() ? QJsonDocument::fromJson(content.data, &parseError) : QJsonDocument();
    if (!content.ok() || parseError.error != QJsonParseError::NoError || !document.isObject()) {
        const QString aside = m_path + ".unreadable";
        const QString why = content.ok() ? parseError.errorString() : content.problem;
        QString renameError;
        if (QFileInfo::exists(aside) && !QFile::remove(aside))
            renameError = aside + " is in the way and cannot be removed";
        else if (!FilePlatform::replace(m_path, aside, &renameError))
            renameError = "it cannot be renamed: " + renameError;
        if (renameError.isEmpty())
            *warning = QString("%1 could not be read (%2); set aside as %3, commands from before it are not known")
                           .arg(m_path, why, aside);
        else
            *warning = QString("%1 could not be read (%2), nor set aside as %3 (%4); commands from before it are "
                               "not known, and it is written anew at the next command")
                           .arg(m_path, why, aside, renameError);
        return false;
    }
    for (const QJsonValue& value : document.object().value("commands").toArray()) {
        const QJsonObject object = value.toObject();
        const QString id = object.value("id").toString();
        if (id.isEmpty())
            continue;
        m_entries.push_back(
            {id, static_cast<qint64>(object.value("expires").toDouble()), object.value("result").toString().toUtf8()});
    }
    return true;
}

std::optional<CommandJournal::Entry> CommandJournal::find(const QString& id) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->id == id)
            return *it;
    }
    return std::nullopt;
}

bool CommandJournal::begin(const QString& id, qint64 expires, qint64 now, QString* error)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [now](const Entry& entry) { return entry.expires + kKeepAfterExpiryMs < now; }),
                    m_entries.end());
    if (m_entries.size() >= static_cast<std::size_t>(kMaxEntries))
        m_entries.erase(m_entries.begin(), m_entries.begin() + (m_entries.size() - kMaxEntries + 1));
    m_entries.push_back({id, expires, {}});
    return save(error, StagedFile::Sync::Yes);
}

bool CommandJournal::finish(const QString& id, const QByteArray& result, QString* error)
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->id == id) {
            it->result = result;
            // Only the answer to a repeat depends on it: a crash may lose it, never the note.
            return save(error, StagedFile::Sync::No);
        }
    }
    return true;
}

bool CommandJournal::save(QString* error, StagedFile::Sync sync)
{
    QJsonArray commands;
    for (const Entry& entry : m_entries)
        commands.append(QJsonObject{
            {"id", entry.id}, {"expires", double(entry.expires)}, {"result", QString::fromUtf8(entry.result)}});
    const QByteArray text = QJsonDocument(QJsonObject{{"commands", commands}}).toJson(QJsonDocument::Compact);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = "cannot create " + folder;
        return false;
    }
    StagedFile file(m_path);
    return file.write(text, error, QString(), sync) && file.commit(error);
}
