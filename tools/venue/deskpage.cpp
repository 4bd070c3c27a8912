#include "deskpage.h"

#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// The page is a few files of at most a few hundred kilobytes; pictures are at most 32 MB.
constexpr qint64 kMaxPageFile = 16 * 1024 * 1024;
const char kSection[] = "[desk]";
const char kKey[] = "page=";

QByteArray readSmall(const QString& path, qint64 limit, bool* ok)
{
    QFile file(path);
    *ok = QFileInfo(path).isFile() && QFileInfo(path).size() <= limit && file.open(QIODevice::ReadOnly);
    return *ok ? file.read(limit) : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data, QString* error)
{
    StagedFile file(path);
    // A page and its pictures are made again by the next init or publish: no sync one by one.
    return file.write(data, error, QString(), StagedFile::Sync::No) && file.commit(error);
}

} // namespace

DeskPage::DeskPage(const QString& dir)
    : m_dir(QDir::cleanPath(dir))
{}

QString DeskPage::in(const QString& venueDir)
{
    return QDir::cleanPath(venueDir + '/' + kFolder);
}

QString DeskPage::fromConsole(const QString& consoleConf)
{
    bool ok = false;
    const QStringList lines = QString::fromUtf8(readSmall(consoleConf, 64 * 1024, &ok)).split('\n');
    bool inSection = false;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith('['))
            inSection = line == QLatin1String(kSection);
        else if (inSection && line.startsWith(QLatin1String(kKey)))
            return line.mid(int(qstrlen(kKey))).trimmed();
    }
    return QString();
}

QByteArray DeskPage::consoleSection() const
{
    return QByteArray("\n# Where the broker serves the desk's page from; catalogue publish puts the pictures there.\n")
           + kSection + '\n' + kKey + m_dir.toUtf8() + '\n';
}

QString DeskPage::installed()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/console");
}

bool DeskPage::refresh(const QString& from, const QStringList& keep, QStringList* written, QString* error) const
{
    if (!makeOwnedFolder(m_dir, error) || !makeOwnedFolder(m_dir + '/' + kPictures, error))
        return false;
    StagedFile::removeLeftovers(m_dir);
    QSet<QString> names;
    for (const QFileInfo& source : QDir(from).entryInfoList(QDir::Files, QDir::Name)) {
        bool ok = false;
        const QByteArray bytes = readSmall(source.filePath(), kMaxPageFile, &ok);
        if (!ok) {
            *error = source.filePath() + ": cannot be read for the desk's page";
            return false;
        }
        names << source.fileName();
        bool same = false;
        const QString target = m_dir + '/' + source.fileName();
        if (readSmall(target, kMaxPageFile, &same) == bytes && same)
            continue;
        if (!writeFile(target, bytes, error))
            return false;
        *written << source.fileName();
    }
    for (const QFileInfo& old : QDir(m_dir).entryInfoList(QDir::Files)) {
        if (!names.contains(old.fileName()) && !keep.contains(old.fileName()))
            QFile::remove(old.filePath());
    }
    return true;
}

QByteArray DeskPage::bundle(const QMap<QString, QByteArray>& pictures)
{
    QByteArray head = "NERQ-PICTURES 1\n";
    QByteArray body;
    for (auto it = pictures.cbegin(); it != pictures.cend(); ++it) {
        head += it.key().toLatin1() + ' ' + QByteArray::number(it.value().size()) + '\n';
        body += it.value();
    }
    return head + '\n' + body;
}

bool DeskPage::putPictures(const QString& revision, const QMap<QString, QByteArray>& pictures, QString* error) const
{
    const QString folder = m_dir + '/' + kPictures;
    if (!QFileInfo(folder).isDir()) {
        *error = folder + " is missing: run nerq-venue init on the venue's folder again";
        return false;
    }
    StagedFile::removeLeftovers(folder);
    if (!writeFile(folder + '/' + revision, bundle(pictures), error))
        return false;
    // A page still showing an older catalogue asks the broker for its pictures instead.
    for (const QFileInfo& old : QDir(folder).entryInfoList(QDir::Files)) {
        if (old.fileName() != revision)
            QFile::remove(old.filePath());
    }
    return true;
}
