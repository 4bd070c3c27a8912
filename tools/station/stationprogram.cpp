#include "stationprogram.h"

#include "brokerconfig.h"
#include "mqttclient.h"
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

#include <cstdio>

namespace {

const char kDescription[] =
    "The station agent of a venue: connects to the venue's broker with the station's credentials,\n"
    "publishes the station's status, carries out the desk's commands (launch a game, calibrate the\n"
    "walking device, scan) as the program does, and keeps the station's catalogues in step with the\n"
    "venue's. Runs until stopped; reconnects by itself. Logs to standard error.\n"
    "Exit status: 0 stopped, 1 the configuration or the station's folders are unusable, 2 usage error.";

// As a user service's journal shows it: one line a record on standard error, no file anywhere.
void configureLogging()
{
    el::Configurations configuration;
    configuration.setToDefault();
    configuration.setGlobally(el::ConfigurationType::Format, "%datetime{%Y-%M-%d %H:%m:%s.%g} %level %msg");
    configuration.setGlobally(el::ConfigurationType::ToFile, "false");
    configuration.setGlobally(el::ConfigurationType::ToStandardOutput, "true");
    configuration.set(el::Level::Debug, el::ConfigurationType::Enabled, "false");
    configuration.set(el::Level::Verbose, el::ConfigurationType::Enabled, "false");
    el::Loggers::reconfigureAllLoggers(configuration);
}

int fail(const QString& message)
{
    std::fprintf(stderr, "nerq-station: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int runStation(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(
        "config", "The station's configuration (default: " + VenuePaths::configFolder() + "/station.conf).", "FILE",
        VenuePaths::configFolder() + "/station.conf");
    const QCommandLineOption catalogueOption(
        "catalogue-dir",
        "The folder holding game/, where the program runs (default: " + VenuePaths::dataFolder() + ").", "DIR",
        VenuePaths::dataFolder());
    parser.addOptions({configOption, catalogueOption});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "nerq-station: %s\nTry 'nerq-station --help'.\n",
                     parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet("version")) {
        std::printf("nerq-station %s\n", QCoreApplication::applicationVersion().toLocal8Bit().constData());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "nerq-station: unexpected argument \"%s\"\nTry 'nerq-station --help'.\n",
                     parser.positionalArguments().first().toLocal8Bit().constData());
        return 2;
    }

    configureLogging();
    BrokerConfig broker;
    QString error;
    if (!BrokerConfig::load(parser.value(configOption), &broker, &error))
        return fail(error);
    if (!broker.station)
        return fail(parser.value(configOption) + ": names a user, not a station (station=<id>)");
    if (QFileInfo(parser.value(configOption)).permissions() & (QFile::ReadOther | QFile::ReadGroup))
        LOG(WARNING) << parser.value(configOption).toStdString()
                     << " can be read by other users, and it holds the station's password";

    // Games start from here as they do from the program, which runs in this folder.
    const QString catalogueDir = QDir(parser.value(catalogueOption)).absolutePath();
    if (!QDir().mkpath(catalogueDir) || !QDir::setCurrent(catalogueDir))
        return fail("cannot use the catalogue folder " + catalogueDir);
    const QString stateDir = VenuePaths::stateFolder();
    if (!QDir().mkpath(stateDir))
        return fail("cannot create " + stateDir);

    // Two agents of one station would throw each other off the broker, again and again.
    QLockFile lock(stateDir + "/station-" + broker.user + ".lock");
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString program;
        lock.getLockInfo(&pid, &host, &program);
        return fail(
            QString("another nerq-station for station \"%1\" runs already (process %2)").arg(broker.user).arg(pid));
    }

    StationSettings settings;
    settings.station = broker.user;
    settings.version = QCoreApplication::applicationVersion();
    settings.host = QSysInfo::machineHostName();
    settings.catalogueDir = catalogueDir;
    settings.journalPath = stateDir + "/station-" + broker.user + ".commands";

    MqttClient mqtt(broker, "nerq-station-" + broker.user);
    mqtt.setPersistentSession(true);
    QObject::connect(&mqtt, &MqttClient::stateChanged, [](MqttClient::State state, const QString& reason) {
        if (state == MqttClient::State::Retrying)
            LOG(WARNING) << "Broker: " << reason.toStdString() << "; trying again";
        else
            LOG(INFO) << "Broker: " << reason.toStdString();
    });
    StationAgent agent(mqtt, settings);
    QObject::connect(&agent, &StationAgent::stopped, QCoreApplication::instance(), &QCoreApplication::quit);
    bool stopping = false;
    onStopSignal([&] {
        if (stopping) {
            QCoreApplication::quit(); // asked twice: no more waiting for the broker
            return;
        }
        stopping = true;
        LOG(INFO) << "Stopping";
        agent.stop();
        QTimer::singleShot(5000, QCoreApplication::instance(), &QCoreApplication::quit);
    });
    LOG(INFO) << "Station " << broker.user.toStdString() << " (nerq-station " << settings.version.toStdString()
              << "), catalogues in " << catalogueDir.toStdString() << ", broker " << broker.host.toStdString() << ':'
              << broker.port << (broker.caFile.isEmpty() ? "" : " (TLS)");
    agent.start();
    return QCoreApplication::exec();
}
