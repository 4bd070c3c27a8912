#include "headsetprogram.h"

#include "agentconnection.h"
#include "brokerconfig.h"
#include "conffile.h"
#include "headsetdisplay.h"
#include "headsetstate.h"
#include "runtimeconnection.h"
#include "servicelog.h"
#include "sessionlanguage.h"
#include "venuepaths.h"

#include <easylogging++.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

namespace {

const char kDescription[] =
    "The station's display in the headset: the time bought, the minutes left, the last minute counted\n"
    "down and time's up, as notices that follow the head, and a session tab in the VR dashboard with\n"
    "the time left, a call for help and \"I am done\". Talks to the station agent (nerq-station) on a\n"
    "local socket and to the VR runtime as a background application, waiting for either while it is\n"
    "not there. Logs to standard error.\n"
    "Exit status: 0 stopped, 1 the configuration is unusable or there is no OpenGL, 2 usage error.";

int fail(const QString& message)
{
    std::fprintf(stderr, "nerq-headset: %s\n", message.toLocal8Bit().constData());
    return 1;
}

// The configuration file; 0 when the program goes on, else the exit status.
int parseArguments(const QStringList& arguments, QString* config)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QString fallback = VenuePaths::configFolder() + "/station.conf";
    parser.addOption({"config", "The station's configuration (default: " + fallback + ").", "FILE", fallback});
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                                  ? "unexpected argument \"" + parser.positionalArguments().first() + "\""
                                  : parser.errorText();
        std::fprintf(stderr, "nerq-headset: %s\nTry 'nerq-headset --help'.\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet("help") || parser.isSet("version")) {
        const QString text =
            parser.isSet("help") ? parser.helpText() : "nerq-headset " + QCoreApplication::applicationVersion() + "\n";
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return -1;
    }
    *config = parser.value("config");
    return 0;
}

// The station and the language of station.conf, read as nerq-station reads it.
bool readConfiguration(const QString& path, QString* station, ViewLanguage* language, QString* error)
{
    BrokerConfig broker;
    ConfFile file;
    if (!BrokerConfig::load(path, &broker, error) || !ConfFile::read(path, &file, error)
        || !readSessionLanguage(file, language, error))
        return false;
    if (!broker.station) {
        *error = path + ": names a user, not a station (station=<id>)";
        return false;
    }
    *station = broker.user;
    return true;
}

} // namespace

int prepareHeadset(const QStringList& arguments, HeadsetSettings* settings)
{
    QString configPath;
    const int parsed = parseArguments(arguments, &configPath);
    if (parsed != 0)
        return parsed < 0 ? 0 : parsed;
    logToStandardError();
    QString error;
    if (!readConfiguration(configPath, &settings->station, &settings->language, &error))
        return fail(error);
    return -1;
}

int runHeadset(const HeadsetSettings& settings)
{
    const QString& station = settings.station;
    HeadsetState state;
    state.setLanguage(settings.language);
    RuntimeConnection runtime;
    AgentConnection agent(HeadsetLink::serverName(station), QCoreApplication::applicationVersion());
    HeadsetDisplay display(state, runtime, QCoreApplication::applicationDirPath() + "/res");
    try {
        if (!display.create())
            return fail("the pages cannot be loaded");
    } catch (const std::exception& problem) {
        return fail(problem.what());
    }

    QObject::connect(&agent, &AgentConnection::viewReceived, &state, &HeadsetState::setView);
    QObject::connect(&agent, &AgentConnection::noticeReceived, &state, &HeadsetState::showNotice);
    QObject::connect(&runtime, &RuntimeConnection::runtimeChanged, &agent, &AgentConnection::setRuntime);
    QObject::connect(&state, &HeadsetState::helpRequested, &agent, [&] {
        LOG(INFO) << "Help called";
        if (!agent.sendHelp())
            state.setHelpUnreachable();
    });
    QObject::connect(&state, &HeadsetState::doneConfirmed, &agent, [&] {
        LOG(INFO) << "The customer is done";
        if (!agent.sendDone())
            LOG(WARNING) << "No agent to tell that the customer is done";
    });

    LOG(INFO) << "Station " << station.toStdString() << " (nerq-headset "
              << QCoreApplication::applicationVersion().toStdString() << "), agent at "
              << HeadsetLink::serverName(station).toStdString();
    agent.start();
    runtime.start();
    return QCoreApplication::exec();
}
