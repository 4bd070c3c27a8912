#include "deskconnection.h"

#include "commandline.h"
#include "desksession.h"
#include "venuepaths.h"

#include <QCommandLineParser>
#include <QDateTime>

namespace {

// The broker is on the venue's own network: it answers at once or not at all.

} // namespace

namespace DeskConnection {

QCommandLineOption configOption()
{
    const QString fallback = VenuePaths::configFolder() + "/console.conf";
    return QCommandLineOption("config", "The desk's credentials, as init wrote them (default: " + fallback + ").",
                              "FILE", fallback);
}

bool load(const QCommandLineParser& parser, CommandLine& cli, BrokerConfig* config, int* status)
{
    QString error;
    if (!BrokerConfig::load(parser.value("config"), config, &error)) {
        *status = cli.fail(error);
        return false;
    }
    if (config->station) {
        *status = cli.fail(parser.value("config") + ": a station's file; the desk's commands need console.conf");
        return false;
    }
    return true;
}

bool open(DeskSession& session, CommandLine& cli, int* status, bool withCatalogue)
{
    // What the desk cannot use is left out, and said.
    QObject::connect(&session, &DeskSession::skipped, &session, [&cli](const QString& topic, const QString& reason) {
        cli.err() << cli.tool() << ": warning: " << topic << ": " << reason << "; skipped\n";
        cli.err().flush();
    });
    QString error;
    if (session.open(kOpenTimeoutMs, &error, withCatalogue))
        return true;
    *status = cli.fail(error);
    return false;
}

QString time(qint64 ms)
{
    if (ms <= 0)
        return QStringLiteral("an unknown time");
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd hh:mm:ss");
}

} // namespace DeskConnection
