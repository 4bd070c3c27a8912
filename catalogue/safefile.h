#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;
class QTemporaryFile;

// A file from outside (Steam's folders and cache), read defensively: only a regular file, only
// when its real place lies inside one of `trees` (none given: anywhere), and never more than
// `limit` bytes, whatever the file claims.
struct OutsideFile {
    QByteArray data;
    QString problem; // why it cannot be used, in words ("a folder, not a file"); empty when it can

    bool ok() const { return problem.isEmpty(); }
    static OutsideFile read(const QString& path, qint64 limit, const QStringList& trees = {});
};

// Makes a folder (and those above it) when missing; one the tool makes belongs to the owner of
// the folder it is made in, so a run as root leaves a user's folder the user's.
bool makeOwnedFolder(const QString& folder, QString* error);

// The lock every writer of a folder takes around its whole read-change-write, waiting up to
// `waitSeconds` for another writer; a lock left by a process that died is taken over. Null, with
// who holds it, when it could not be had.
std::unique_ptr<QLockFile> takeLock(const QString& path, int waitSeconds, QString* error);

// A new version of a file: written in full beside it under a temporary name, synced, given the
// mode and owner of the file it replaces (or of `like`), then put in place by one rename. Until
// commit() the old file is untouched, and an uncommitted StagedFile leaves nothing behind, so a
// failure at any point (a full disk) never leaves a half-written or empty file in its place.
class StagedFile
{
public:
    explicit StagedFile(QString path);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // `like`: the file whose mode and owner the new one takes; empty: the file it replaces, or for
    // a new file the default mode and the owner of its folder. Without `sync` a crash of the
    // machine may lose the new content (never the old file), which suits what is easily made
    // again: syncing hundreds of pictures one by one takes seconds.
    enum class Sync { Yes, No };
    bool write(const QByteArray& data, QString* error, const QString& like = QString(), Sync sync = Sync::Yes);
    bool commit(QString* error);
    // The mode of a new file (0600 for a secret) in place of the default; a file replaced keeps
    // its own. The staged copy is readable by its owner alone until it is written in full.
    void setNewFileMode(int mode) { m_newFileMode = mode; }

    // Temporary files that a writer killed half-way left in `folder`; only call it while holding
    // the lock that every writer takes.
    static void removeLeftovers(const QString& folder);

private:
    QString m_path;
    std::unique_ptr<QTemporaryFile> m_temp;
    int m_newFileMode = -1;
};
