#pragma once

#include "safefile.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The commands a station has taken on, kept on disk, so that none is carried out twice: not when
// the broker delivers it again (QoS 1 may), nor when the agent restarts in between. A command is
// noted before it is carried out, so a crash in the middle leaves it noted, not repeated.
class CommandJournal
{
public:
    // Entries are kept this long past their command's expiry; a command delivered again later
    // is refused as expired anyway.
    static constexpr qint64 kKeepAfterExpiryMs = 60 * 60 * 1000;
    static constexpr int kMaxEntries = 10000;

    explicit CommandJournal(QString path);

    // A missing file is an empty journal. One that cannot be read is set aside as
    // "<name>.unreadable" (reported in `warning`, as is a failure to set it aside), since refusing
    // every command would be worse.
    bool load(QString* warning);

    struct Entry {
        QString id;
        qint64 expires = 0;
        QByteArray result; // empty while the command is being carried out (or when it never ended)
    };
    std::optional<Entry> find(const QString& id) const;
    // Notes the command as taken on, on disk, forgetting entries long expired at `now`. When that
    // fails the command must not run. `expires`: the end of its lifetime on this machine's clock,
    // whatever the sender's says.
    bool begin(const QString& id, qint64 expires, qint64 now, QString* error);
    bool finish(const QString& id, const QByteArray& result, QString* error);

    const QString& path() const { return m_path; }

private:
    bool save(QString* error, StagedFile::Sync sync);

    QString m_path;
    std::vector<Entry> m_entries; // oldest first
};
