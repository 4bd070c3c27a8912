#include "programrun.h"

#include "testpaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <algorithm>

RuntimeCopy::RuntimeCopy()
{
    const QDir shipped(TestPaths::runtimeDir());
    QDir(path()).mkpath("game");
    QFile::link(shipped.filePath("res"), filePath("res"));
    QFile::link(shipped.filePath("log.conf"), filePath("log.conf"));
    QFile::link(shipped.filePath("game/images"), filePath("game/images"));
    QFile::link(shipped.filePath("game/native"), filePath("game/native"));
    for (const QString& name : {QStringLiteral("game/data_en.json"), QStringLiteral("game/data_cn.json")})
        QFile::copy(shipped.filePath(name), filePath(name));
}

void RuntimeCopy::writeFile(const QString& relative, const QByteArray& content, bool executable)
{
    const QString target = filePath(relative);
    QFile::remove(target);
    QDir().mkpath(QFileInfo(target).path());
    QFile file(target);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(target));
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

void RuntimeCopy::remove(const QString& relative)
{
    const QString target = filePath(relative);
    if (QFileInfo(target).isDir() && !QFileInfo(target).isSymLink())
        QDir(target).removeRecursively();
    else
        QFile::remove(target);
}

ProgramRun::ProgramRun(const QString& workingDir, const QStringList& arguments, const QProcessEnvironment& environment,
                       const QString& program)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setWorkingDirectory(workingDir);
    m_process.setProcessEnvironment(environment);
    m_process.start(program.isEmpty() ? TestPaths::executable() : program, arguments);
    m_process.waitForStarted();
}

ProgramRun::~ProgramRun()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ProgramRun::waitForExit(int msecs)
{
    const bool finished = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(msecs);
    output();
    return finished;
}

QString ProgramRun::output()
{
    m_output += m_process.readAll();
    return QString::fromUtf8(m_output);
}

QString ProgramRun::report()
{
    const QString state = isRunning() ? QStringLiteral("still running")
                          : m_process.exitStatus() == QProcess::CrashExit
                              ? QStringLiteral("crashed (signal or kill)")
                              : QStringLiteral("exited with %1").arg(m_process.exitCode());
    // The model's trace lines would bury everything else.
    QStringList lines = output().split('\n');
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("role: "); }),
        lines.end());
    return state + QStringLiteral("; output without model trace lines:\n") + lines.join('\n');
}

bool ProgramRun::waitForOutput(const QString& text, int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (!output().contains(text)) {
        if (timer.elapsed() > msecs || !isRunning())
            return output().contains(text);
        m_process.waitForReadyRead(50);
    }
    return true;
}

QString ProgramRun::waitForWindow(int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msecs && isRunning()) {
        const QString id = runTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid())})
                               .split('\n', Qt::SkipEmptyParts)
                               .value(0);
        if (!id.isEmpty())
            return id;
        m_process.waitForFinished(100); // also notices an early exit
    }
    return QString();
}

QString runTool(const QString& program, const QStringList& arguments, int* exitCode, int msecs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(msecs)) {
        process.kill();
        process.waitForFinished();
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}
