#include "vrsimtestsupport.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QProcessEnvironment>
#include <QtTest>
#include <vrsim/control.h>

namespace VrsimTest {

void configure(const QTemporaryDir& stateDir, const QMap<QByteArray, QByteArray>& settings)
{
    const QStringList keys = QProcessEnvironment::systemEnvironment().keys();
    for (const QString& key : keys)
        if (key.startsWith(QLatin1String("VRSIM_")))
            qunsetenv(key.toLocal8Bit().constData());
    qputenv("VRSIM_STATE_DIR", stateDir.path().toLocal8Bit());
    for (auto it = settings.begin(); it != settings.end(); ++it)
        qputenv(it.key().constData(), it.value());
    vrsim::reset();
}

vr::EVRInitError connect(const QTemporaryDir& stateDir, const QMap<QByteArray, QByteArray>& settings,
                         vr::EVRApplicationType type)
{
    configure(stateDir, settings);
    vr::EVRInitError error = vr::VRInitError_Unknown;
    vr::VR_Init(&error, type);
    return error;
}

bool traced(const std::string& line)
{
    for (const std::string& traceLine : vrsim::traceLines())
        if (traceLine == line)
            return true;
    return false;
}

QString probe(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VRSIM_PROBE), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("timeout");
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::unique_ptr<QProcess> holdKey(const QString& key, QString* createLine)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(VRSIM_PROBE), {QStringLiteral("hold"), key});
    process->waitForStarted();
    QByteArray output;
    while (!output.contains('\n') && process->waitForReadyRead(10000))
        output += process->readAllStandardOutput();
    *createLine = QString::fromUtf8(output).trimmed();
    return process;
}

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    m_saved = dup(2);
    const QByteArray path = (m_dir.path() + QStringLiteral("/stderr")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    ::close(fd);
}

StderrCapture::~StderrCapture()
{
    std::fflush(stderr);
    dup2(m_saved, 2);
    ::close(m_saved);
}

QString StderrCapture::text()
{
    std::fflush(stderr);
    QFile file(m_dir.path() + QStringLiteral("/stderr"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

} // namespace VrsimTest
