#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private runtime directory for one test: the shipped page, pictures and log.conf linked in
// from the build, so a test can replace the catalogue or the page without touching the build.
class RuntimeCopy
{
public:
    RuntimeCopy();
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }
    // Replaces whatever is at the relative path (a link to the shipped file included).
    void writeFile(const QString& relative, const QByteArray& content, bool executable = false);
    void remove(const QString& relative);

private:
    QTemporaryDir m_dir;
};

// The real NerqVRPlatform executable (or another program that ends in it, such as its launcher),
// started in a given working directory. Standard output and error are merged; the process is
// killed if the test leaves it running.
class ProgramRun
{
public:
    ProgramRun(const QString& workingDir, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
               const QString& program = QString());
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool waitForExit(int msecs = 15000);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // The exit status as the shell sees it: -1 from main reads as 255.
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    qint64 pid() const { return m_process.processId(); }
    // Everything the program printed so far.
    QString output();
    // For failure messages: how the program ended (if it did) and what it printed.
    QString report();
    // Waits until the output contains the text; false on timeout or exit.
    bool waitForOutput(const QString& text, int msecs = 15000);
    // The X window of the program once it is visible, or 0.
    QString waitForWindow(int msecs = 30000);

private:
    QProcess m_process;
    QByteArray m_output;
};

// Runs a helper program to completion and returns its standard output.
QString runTool(const QString& program, const QStringList& arguments, int* exitCode = nullptr, int msecs = 15000);
