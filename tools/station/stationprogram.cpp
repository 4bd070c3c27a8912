#include "stationprogram.h"

#include "agentclock.h"
#include "brokerconfig.h"
#include "commandline.h"
#include "conffile.h"
#include "headsetlink.h"
#include "mqttclient.h"
#include "servicelog.h"
#include "stationagent.h"
#include "stopsignal.h"
#include "venuepaths.h"

#include <easylogging++.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QTimer>

#include <memory>

namespace {

const char kDescription[] =
    "The station agent of a venue: connects to the venue's broker with the station's credentials,\n"
    "publishes the station's status, carries out the desk's commands (launch a game, calibrate the\n"
    "walking device, scan) as the program does, and keeps the station's catalogues in step with the\n"
    "venue's. Holds the station's timed session (kept in its state folder, so it outlives a\n"
    "restart), ends the game at its end, and tells nerq-headset what to show. Runs until stopped;\n"
    "reconnects by itself. Logs to standard error.\n"
    "Exit status: 0 stopped, 1 the configuration or the station's folders are unusable, 2 usage error.";

struct Options {
    QString config;
    QString catalogueDir;
};

bool parseOptions(CommandLine& cli, const QStringList& arguments, Options* options, int* status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption configOption(
        "config", "The station's configuration (default: " + VenuePaths::configFolder() + "/station.conf).", "FILE",
        VenuePaths::configFolder() + "/station.conf");
    const QCommandLineOption catalogueOption(
        "catalogue-dir",
        "The folder holding game/, where the program runs (default: " + VenuePaths::dataFolder() + ").", "DIR",
        VenuePaths::dataFolder());
    parser.addOptions({configOption, catalogueOption});
    if (!cli.parseProgram(parser, "nerq-station [--config FILE] [--catalogue-dir DIR]", arguments, status))
        return false;
    options->config = parser.value(configOption);
    options->catalogueDir = parser.value(catalogueOption);
    return true;
}

// The station's credentials and folders, and the lock that keeps a second agent of the station
// away; empty with the failure said (status 1).
std::unique_ptr<QLockFile> prepare(CommandLine& cli, const Options& options, BrokerConfig* broker,
                                   StationSettings* settings, int* status)
{
    QString error;
    *status = 1;
    if (!BrokerConfig::load(options.config, broker, &error)) {
        cli.fail(error);
        return nullptr;
    }
    if (!broker->station) {
        cli.fail(options.config + ": names a user, not a station (station=<id>)");
        return nullptr;
    }
    ConfFile file;
    if (!ConfFile::read(options.config, &file, &error) || !readSessionSettings(file, &settings->session, &error)) {
        cli.fail(error);
        return nullptr;
    }
    if (QFileInfo(options.config).permissions() & (QFile::ReadOther | QFile::ReadGroup))
        LOG(WARNING) << options.config.toStdString()
                     << " can be read by other users, and it holds the station's password";

    // Games start from here as they do from the program, which runs in this folder.
    const QString catalogueDir = QDir(options.catalogueDir).absolutePath();
    const QString stateDir = VenuePaths::stateFolder();
    if (!QDir().mkpath(catalogueDir) || !QDir::setCurrent(catalogueDir)) {
        cli.fail("cannot use the catalogue folder " + catalogueDir);
        return nullptr;
    }
    if (!QDir().mkpath(stateDir)) {
        cli.fail("cannot create " + stateDir);
        return nullptr;
    }
    // Two agents of one station would throw each other off the broker, again and again.
    auto lock = std::make_unique<QLockFile>(stateDir + "/station-" + broker->user + ".lock");
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString program;
        lock->getLockInfo(&pid, &host, &program);
        cli.fail(
            QString("another nerq-station for station \"%1\" runs already (process %2)").arg(broker->user).arg(pid));
        return nullptr;
    }
    settings->station = broker->user;
    settings->version = QCoreApplication::applicationVersion();
    settings->host = QSysInfo::machineHostName();
    settings->catalogueDir = catalogueDir;
    settings->journalPath = stateDir + "/station-" + broker->user + ".commands";
    settings->statePath = stateDir + "/station-" + broker->user + ".state";
    settings->headsetServer = HeadsetLink::serverName(broker->user);
    settings->eventsPath = stateDir + "/station-" + broker->user + ".events";
    *status = 0;
    return lock;
}

int serve(const BrokerConfig& broker, const StationSettings& settings)
{
    MqttClient mqtt(broker, "nerq-station-" + broker.user);
    mqtt.setPersistentSession(true);
    logConnection(mqtt);
    StationAgent agent(mqtt, settings, AgentClock::system());
    QObject::connect(&agent, &StationAgent::stopped, QCoreApplication::instance(), &QCoreApplication::quit);
    bool stopping = false;
    QString error;
    const bool stoppable = onStopSignal(
        [&] {
            if (stopping) {
                QCoreApplication::quit(); // asked twice: no more waiting for the broker
                return;
            }
            stopping = true;
            LOG(INFO) << "Stopping";
            agent.stop();
            QTimer::singleShot(5000, QCoreApplication::instance(), &QCoreApplication::quit);
        },
        &error);
    if (!stoppable)
        LOG(ERROR) << "The system's stop request cannot reach the agent (" << error.toStdString()
                   << "); stopping it ends it at once, without saying \"offline\" first";
    LOG(INFO) << "Station " << broker.user.toStdString() << " (nerq-station " << settings.version.toStdString()
              << "), catalogues in " << settings.catalogueDir.toStdString() << ", broker " << broker.host.toStdString()
              << ':' << broker.port << (broker.caFile.isEmpty() ? "" : " (TLS)");
    agent.start();
    return QCoreApplication::exec();
}

} // namespace

int runStation(const QStringList& arguments)
{
    CommandLine cli("nerq-station");
    Options options;
    int status = 0;
    if (!parseOptions(cli, arguments, &options, &status))
        return status;
    logToStandardError();
    BrokerConfig broker;
    StationSettings settings;
    const std::unique_ptr<QLockFile> lock = prepare(cli, options, &broker, &settings, &status);
    if (!lock)
        return status;
    return serve(broker, settings);
}
