#include "benchblocks.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

BenchBlocks::BenchBlocks()
{
    if (qEnvironmentVariableIsSet("NERQ_BLOCK_PREFIX"))
        return;
    m_prefix = "nerqbench." + QByteArray::number(::getpid()) + '.';
    qputenv("NERQ_BLOCK_PREFIX", m_prefix);
}

BenchBlocks::~BenchBlocks()
{
    if (m_prefix.isEmpty())
        return;
    QDir shm(QStringLiteral("/dev/shm"));
    for (const QString& name : shm.entryList({QString::fromLatin1(m_prefix) + '*'}, QDir::Files | QDir::System))
        QFile::remove(shm.filePath(name));
}
