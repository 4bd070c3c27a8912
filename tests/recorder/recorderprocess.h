#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real nerq-recorder on a venue's folder, for one test; killed when the object goes. Its log
// goes to a file, so a test can wait for a line without reading a pipe.
class RecorderProcess
{
public:
    explicit RecorderProcess(const QString& venueDir);
    ~RecorderProcess();
    RecorderProcess(const RecorderProcess&) = delete;
    RecorderProcess& operator=(const RecorderProcess&) = delete;

    // Runs it as this user (root only), as a venue whose folder that user owns does.
    void setUser(const QString& user) { m_user = user; }
    // Starts it and waits, at most 10 s, until it is connected to the broker.
    bool start();
    // Starts it without waiting.
    bool launch();
    void stop(); // SIGTERM, as its user service is stopped
    void kill(); // SIGKILL
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    // Waits for it to end by itself; its exit status, or -1.
    int waitForExit(int msecs = 10000);
    QString log() const;
    bool waitForLog(const QString& text, int msecs = 10000, int occurrences = 1) const;
    QString databasePath() const { return m_venueDir + "/books.sqlite"; }

private:
    QString m_venueDir;
    QString m_user;
    QTemporaryDir m_logDir;
    QProcess m_process;
};
