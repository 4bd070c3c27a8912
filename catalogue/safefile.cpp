#include "safefile.h"

#include "fileplatform.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>

namespace {

const char kTempSuffix[] = ".nerq-part";

bool isInside(const QString& path, const QStringList& trees)
{
    if (trees.isEmpty())
        return true;
    for (const QString& tree : trees) {
        if (path == tree || path.startsWith(tree.endsWith('/') ? tree : tree + '/'))
            return true;
    }
    return false;
}

// A short write is retried, so that a full disk is reported with its reason, not as a count.
bool writeAll(QFile& file, const QByteArray& data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = file.write(data.constData() + done, data.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// What stands at `path` when it is not a readable file of at most `limit` bytes inside `trees`.
QString whatIsWrong(const QString& path, qint64 limit, const QStringList& trees)
{
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    if (info.isSymLink() && real.isEmpty())
        return QString("a broken link to %1").arg(info.symLinkTarget());
    if (!info.exists())
        return QStringLiteral("missing");
    if (!isInside(real, trees))
        return QString("a link to %1, outside %2").arg(real, trees.join(", "));
    if (info.isDir())
        return QStringLiteral("a folder, not a file");
    if (!info.isFile())
        return QStringLiteral("not a regular file (a device, pipe or socket)");
    if (info.size() == 0)
        return QStringLiteral("empty");
    if (info.size() > limit)
        return QString("too large (%1 bytes; at most %2)").arg(info.size()).arg(limit);
    return {};
}

QString lockHolder(const QLockFile& lock, const QString& path)
{
    qint64 pid = 0;
    QString host;
    QString program;
    if (!lock.getLockInfo(&pid, &host, &program))
        return "another program holds " + path;
    return QString("%1 (process %2 on %3) has held %4 since %5")
        .arg(program.isEmpty() ? QStringLiteral("another program") : program)
        .arg(pid)
        .arg(host, path, QFileInfo(path).lastModified().toString("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

OutsideFile OutsideFile::read(const QString& path, qint64 limit, const QStringList& trees)
{
    OutsideFile result;
    result.problem = whatIsWrong(path, limit, trees);
    if (!result.ok())
        return result;
    QFile file(QFileInfo(path).canonicalFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = "cannot be read: " + file.errorString();
        return result;
    }
    // A file may grow between the look and the read: the limit holds all the same. The first
    // read asks for what the file claims, since a read reserves all that it asks for.
    result.data = file.read(qMin(limit, file.size()) + 1);
    while (result.data.size() <= limit && !file.atEnd()) {
        const QByteArray more = file.read(qMin<qint64>(limit + 1 - result.data.size(), 1 << 20));
        if (more.isEmpty())
            break;
        result.data += more;
    }
    if (result.data.size() > limit)
        result.problem = QString("too large (more than %1 bytes)").arg(limit);
    else if (result.data.isEmpty())
        result.problem =
            file.error() == QFile::NoError ? QStringLiteral("empty") : "cannot be read: " + file.errorString();
    if (!result.ok())
        result.data.clear();
    return result;
}

bool makeOwnedFolder(const QString& folder, QString* error)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QFileInfo(parent).isDir() && !makeOwnedFolder(parent, error))
        return false;
    QString reason;
    if (!QDir().mkdir(folder)) {
        *error = QString("cannot create %1: %2").arg(folder, qt_error_string());
        return false;
    }
    if (!FilePlatform::settleFolder(folder, parent, &reason)) {
        *error = QString("cannot give %1 the owner of %2: %3").arg(folder, parent, reason);
        return false;
    }
    return true;
}

StagedFile::StagedFile(QString path)
    : m_path(std::move(path))
{}

StagedFile::~StagedFile() = default; // QTemporaryFile removes an uncommitted file

bool StagedFile::write(const QByteArray& data, QString* error, const QString& like, Sync sync)
{
    const QFileInfo target(m_path);
    m_temp =
        std::make_unique<QTemporaryFile>(target.absolutePath() + "/." + target.fileName() + ".XXXXXX" + kTempSuffix);
    const QString style = like.isEmpty() ? m_path : like;
    QString reason;
    if (!m_temp->open() || !writeAll(*m_temp, data) || !m_temp->flush())
        reason = m_temp->errorString();
    else if ((sync == Sync::No || FilePlatform::sync(*m_temp, &reason))
             && !FilePlatform::settle(*m_temp, style, target.absolutePath(), m_newFileMode, &reason))
        reason = "cannot give it the mode and owner of " + style + ": " + reason;
    if (reason.isEmpty())
        return true;
    *error = QString("cannot write %1: %2").arg(m_path, reason);
    m_temp.reset();
    return false;
}

bool StagedFile::commit(QString* error)
{
    if (!m_temp) {
        *error = m_path + ": nothing written to put in place";
        return false;
    }
    m_temp->close();
    if (!FilePlatform::replace(m_temp->fileName(), m_path, error)) {
        *error = QString("cannot put %1 in place: %2").arg(m_path, *error);
        return false;
    }
    m_temp->setAutoRemove(false);
    m_temp.reset();
    return true;
}

void StagedFile::removeLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QString(".*.??????") + kTempSuffix}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        QFile::remove(dir.filePath(name));
}

std::unique_ptr<QLockFile> takeLock(const QString& path, int waitSeconds, QString* error)
{
    auto lock = std::make_unique<QLockFile>(path);
    // Only a dead holder makes a lock stale: a slow writer (a scan of a big library) keeps it.
    lock->setStaleLockTime(0);
    // Qt's own wait doubles its pauses up to seconds; writers who queue up behind each other
    // would give up long before the last one's turn.
    QElapsedTimer waited;
    waited.start();
    while (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError || waited.elapsed() >= waitSeconds * 1000)
            break;
        QThread::msleep(20);
    }
    if (lock->error() == QLockFile::NoError)
        return lock;
    switch (lock->error()) {
    case QLockFile::LockFailedError:
        *error = QString("%1; gave up after %2 s").arg(lockHolder(*lock, path)).arg(waitSeconds);
        break;
    case QLockFile::PermissionError:
        *error = QString("cannot create the lock %1: %2").arg(path, qt_error_string(EACCES));
        break;
    default:
        *error = QString("cannot create the lock %1: %2").arg(path, qt_error_string());
        break;
    }
    return nullptr;
}
