#include "blockfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace BlockFixture {

QString path(const char* name)
{
    // Test runs move every block aside with this prefix; see systemBlockName.
    return QStringLiteral("/dev/shm/") + qEnvironmentVariable("NERQ_BLOCK_PREFIX") + QString::fromUtf8(name);
}

QByteArray uniqueName(const char* tag)
{
    return QByteArray("nerqtest_") + tag + '_' + QByteArray::number(QCoreApplication::applicationPid());
}

QByteArray rawBytes(const char* name)
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool exists(const char* name)
{
    return QFileInfo::exists(path(name));
}

bool writeRaw(const char* name, const QByteArray& bytes)
{
    QFile file(path(name));
    return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size();
}

void remove(const char* name)
{
    const QFileInfo info(path(name));
    if (info.isDir())
        QDir().rmdir(info.filePath());
    else if (info.exists())
        QFile::remove(info.filePath());
}

bool blockWithDirectory(const char* name)
{
    remove(name);
    return QDir().mkdir(path(name));
}

OpenResources openResources()
{
    OpenResources r;
    r.descriptors =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : maps.readAll().split('\n'))
            if (line.contains("/dev/shm/"))
                ++r.sharedMappings;
    }
    return r;
}

} // namespace BlockFixture
