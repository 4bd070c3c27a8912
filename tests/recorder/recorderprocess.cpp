#include "recorderprocess.h"

#include "eventloopwait.h"
#include "testpaths.h"

#include <QFile>

#include <pwd.h>

RecorderProcess::RecorderProcess(const QString& venueDir)
    : m_venueDir(venueDir)
{
    m_process.setStandardOutputFile(m_logDir.filePath("recorder.log"), QIODevice::Append);
    m_process.setStandardErrorFile(m_logDir.filePath("recorder.log"), QIODevice::Append);
}

RecorderProcess::~RecorderProcess()
{
    kill();
}

bool RecorderProcess::launch()
{
    QString program = TestPaths::tool("nerq-recorder");
    QStringList arguments{m_venueDir};
    if (!m_user.isEmpty()) {
        const struct passwd* user = ::getpwnam(m_user.toLocal8Bit().constData());
        if (!user)
            return false;
        arguments = QStringList{QString("--reuid=%1").arg(user->pw_uid), QString("--regid=%1").arg(user->pw_gid),
                                "--clear-groups", program}
                    + arguments;
        program = "setpriv";
    }
    m_process.start(program, arguments);
    return m_process.waitForStarted();
}

bool RecorderProcess::start()
{
    const int connections = log().count("Broker: connected");
    return launch() && waitForLog("Broker: connected", 10000, connections + 1);
}

void RecorderProcess::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
}

void RecorderProcess::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

int RecorderProcess::waitForExit(int msecs)
{
    if (!m_process.waitForFinished(msecs) && isRunning())
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString RecorderProcess::log() const
{
    QFile file(m_logDir.filePath("recorder.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool RecorderProcess::waitForLog(const QString& text, int msecs, int occurrences) const
{
    return waitUntil([&] { return log().count(text) >= occurrences; }, msecs);
}
