#include "venuebroker.h"

#include "testpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kStartMsecs = 10000;
constexpr int kReloadMsecs = 5000;
const char kFolderName[] = "venue's folder";
const char kReloaded[] = "Reloading config.";

// Three ports nothing listens on at this moment.
bool freePorts(int* first, int* second, int* third)
{
    QTcpServer a;
    QTcpServer b;
    QTcpServer c;
    if (!a.listen(QHostAddress::LocalHost) || !b.listen(QHostAddress::LocalHost) || !c.listen(QHostAddress::LocalHost))
        return false;
    *first = a.serverPort();
    *second = b.serverPort();
    *third = c.serverPort();
    return true;
}

// The command printed on the line after the one that starts with `heading`, or empty.
QString commandAfter(const QString& output, const QString& heading)
{
    const QStringList lines = output.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith(heading))
            return lines[i + 1].trimmed();
    }
    return QString();
}

// Should the test process die without its destructors, the guard ends `pid`.
void guard(QProcess& guard, qint64 pid)
{
    guard.start("sh", {"-c", "while kill -0 \"$0\" 2>/dev/null; do sleep 0.5; done; kill -9 \"$1\" 2>/dev/null",
                       QString::number(QCoreApplication::applicationPid()), QString::number(pid)});
}

void end(QProcess& process, bool politely)
{
    if (process.state() == QProcess::NotRunning)
        return;
    if (politely) {
        process.terminate();
        if (process.waitForFinished(10000))
            return;
    }
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

VenueBroker::VenueBroker()
    : VenueBroker(Options())
{}

VenueBroker::VenueBroker(const Options& options)
    : m_options(options)
    , m_dir(m_base.filePath(kFolderName))
{
    // A file, not a pipe: a pipe nobody reads while the test waits elsewhere would stall the broker.
    m_broker.setStandardOutputFile(m_base.filePath("broker.log"), QIODevice::Append);
    m_broker.setStandardErrorFile(m_base.filePath("broker.log"), QIODevice::Append);
    m_front.setStandardOutputFile(m_base.filePath("front.log"), QIODevice::Append);
    m_front.setStandardErrorFile(m_base.filePath("front.log"), QIODevice::Append);
    for (QProcess* guard : {&m_guard, &m_frontGuard}) {
        guard->setStandardOutputFile(QProcess::nullDevice());
        guard->setStandardErrorFile(QProcess::nullDevice());
    }
}

VenueBroker::~VenueBroker()
{
    stop();
}

bool VenueBroker::start()
{
    if (isRunning())
        return true;
    m_error.clear();
    const bool first = m_startCommand.isEmpty();
    // Another program may take a free port between the look and the broker's bind: new ports then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (first && !init())
            return false;
        const qint64 logStart = log().size();
        if (launch())
            return true;
        if (!first || !log().mid(logStart).contains("Address already in use"))
            return false;
    }
    return false;
}

bool VenueBroker::init()
{
    if (!m_base.isValid()) {
        m_error = "no temporary folder: " + m_base.errorString();
        return false;
    }
    if (!m_options.owner.isEmpty() && !QFileInfo::exists(m_dir)) {
        const struct passwd* user = ::getpwnam(m_options.owner.toLocal8Bit().constData());
        // The owner reaches its folder through the temporary one, which only root may list.
        if (::geteuid() != 0 || !user || ::chmod(QFile::encodeName(m_base.path()).constData(), 0711) != 0
            || !QDir().mkdir(m_dir) || ::chown(QFile::encodeName(m_dir).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = "cannot give a folder to " + m_options.owner + " (the test must run as root)";
            return false;
        }
    }
    if (!freePorts(&m_port, &m_wsPort, &m_wsLocalPort)) {
        m_error = "no free loopback port";
        return false;
    }
    QString output;
    return initAgain(m_options.tls ? QStringList{"--tls"} : QStringList(), &output);
}

bool VenueBroker::initAgain(const QStringList& options, QString* output)
{
    int exitCode = 0;
    *output = runVenue(QStringList{"init", m_dir, "--host", host(), "--port", QString::number(m_port), "--ws-port",
                                   QString::number(m_wsPort), "--ws-local-port", QString::number(m_wsLocalPort)}
                           + options,
                       &exitCode);
    m_startCommand = commandAfter(*output, "Start the broker");
    m_frontCommand = commandAfter(*output, "Start TLS for the desk's page");
    if (exitCode == 0 && !m_startCommand.isEmpty())
        return true;
    m_error = QString("nerq-venue init exited with %1:\n%2").arg(exitCode).arg(*output);
    return false;
}

bool VenueBroker::launch()
{
    const qint64 logStart = log().size();
    QStringList command{"sh", "-c", "exec " + m_startCommand};
    if (m_options.startAsOwner) {
        const struct passwd* user = ::getpwnam(m_options.owner.toLocal8Bit().constData());
        if (!user) {
            m_error = "no user " + m_options.owner;
            return false;
        }
        command = QStringList{"setpriv", QString("--reuid=%1").arg(user->pw_uid),
                              QString("--regid=%1").arg(user->pw_gid), "--clear-groups"}
                  + command;
    }
    m_broker.start(command.takeFirst(), command);
    if (!m_broker.waitForStarted()) {
        m_error = "cannot start the broker: " + m_broker.errorString();
        return false;
    }
    guard(m_guard, m_broker.processId());
    static const QRegularExpression running(QStringLiteral("mosquitto version \\S+ running"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kStartMsecs) {
        if (m_broker.waitForFinished(50)) {
            m_error = QString("the broker (%1) ended at once").arg(m_startCommand);
            stopGuard();
            return false;
        }
        if (!running.match(log().mid(logStart)).hasMatch())
            continue;
        QTcpSocket socket;
        socket.connectToHost(host(), static_cast<quint16>(m_port));
        if (socket.waitForConnected(1000))
            return m_frontCommand.isEmpty() || launchFront();
    }
    m_error = QString("the broker (%1) did not accept connections within %2 ms").arg(m_startCommand).arg(kStartMsecs);
    kill();
    return false;
}

bool VenueBroker::launchFront()
{
    m_front.start("sh", {"-c", "exec " + m_frontCommand});
    if (!m_front.waitForStarted()) {
        m_error = "cannot start the page's TLS: " + m_front.errorString();
        return false;
    }
    guard(m_frontGuard, m_front.processId());
    QElapsedTimer timer;
    timer.start();
    while (!m_front.waitForFinished(50) && timer.elapsed() < kStartMsecs) {
        QTcpSocket socket;
        socket.connectToHost(host(), static_cast<quint16>(m_wsPort));
        if (socket.waitForConnected(1000))
            return true;
    }
    m_error = QString("the page's TLS (%1) did not accept connections").arg(m_frontCommand);
    kill();
    return false;
}

void VenueBroker::stop()
{
    end(m_front, true);
    end(m_broker, true);
    stopGuard();
}

void VenueBroker::kill()
{
    end(m_front, false);
    end(m_broker, false);
    stopGuard();
}

void VenueBroker::stopGuard()
{
    end(m_guard, false);
    end(m_frontGuard, false);
}

bool VenueBroker::isRunning()
{
    return m_broker.state() != QProcess::NotRunning && !m_broker.waitForFinished(0);
}

QString VenueBroker::addStation(const QString& id)
{
    return clientCommand("add-station", id) ? m_dir + "/stations/" + id + ".conf" : QString();
}

bool VenueBroker::removeStation(const QString& id)
{
    return clientCommand("remove-station", id);
}

QString VenueBroker::addDesk(const QString& name)
{
    return clientCommand("add-desk", name) ? m_dir + "/desks/" + name + ".conf" : QString();
}

bool VenueBroker::removeDesk(const QString& name)
{
    return clientCommand("remove-desk", name);
}

bool VenueBroker::clientCommand(const QString& command, const QString& id)
{
    const bool running = isRunning();
    const int reloads = log().count(kReloaded);
    int exitCode = 0;
    const QString output = runVenue({command, m_dir, id}, &exitCode);
    if (exitCode != 0) {
        m_error = QString("nerq-venue %1 exited with %2:\n%3").arg(command).arg(exitCode).arg(output);
        return false;
    }
    if (!running || !output.contains("reads the password and ACL files again now"))
        return true;
    QElapsedTimer timer;
    timer.start();
    while (log().count(kReloaded) == reloads) {
        if (timer.elapsed() > kReloadMsecs) {
            m_error = QString("the broker did not reload after nerq-venue %1:\n%2").arg(command, output);
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

QString VenueBroker::runDesk(const QStringList& arguments, int* exitCode)
{
    return runVenue(arguments + QStringList{"--config", m_dir + "/console.conf"}, exitCode);
}

QString VenueBroker::runVenue(const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_options.venueTool.isEmpty() ? TestPaths::tool("nerq-venue") : m_options.venueTool, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
    }
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

BrokerConfig VenueBroker::desk() const
{
    BrokerConfig desk;
    QString error;
    BrokerConfig::load(m_dir + "/console.conf", &desk, &error);
    return desk;
}

QString VenueBroker::log() const
{
    QFile file(m_base.filePath("broker.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString VenueBroker::report() const
{
    return m_error + "\n--- the broker's log:\n" + log().right(6000);
}
