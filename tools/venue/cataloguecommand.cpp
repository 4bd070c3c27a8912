#include "cataloguecommand.h"

#include "commandline.h"
#include "deskconnection.h"
#include "deskpage.h"
#include "desksession.h"
#include "venuecatalogue.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonDocument>
#include <QSet>

namespace {

const char kPublishDescription[] =
    "Publishes the two catalogues of DIR (game/data_en.json and game/data_cn.json, as nerq-catalogue\n"
    "keeps them) and their pictures as the venue catalogue. Every station follows it: it shows exactly\n"
    "the venue's games that are installed there, in the venue's order, with the venue's names, modes\n"
    "and pictures. A catalogue the program would not load whole, or a picture that cannot be read, is\n"
    "refused and nothing is published. Waits up to --wait seconds (default 10) to say which stations\n"
    "follow it. Exit status: 0 published, 1 refused or the broker could not be reached, 2 usage error.";

const char kShowDescription[] =
    "Shows the venue catalogue the broker keeps: its revision, when it was published, its games, and\n"
    "the revision each station follows. --json prints it as the stations get it.";

constexpr int kPublishTimeoutMs = 60000;

QSet<QString> pictureHashes(const QByteArray& payload)
{
    VenueCatalogue venue;
    QString error;
    if (payload.isEmpty() || !venue.parse(payload, &error))
        return {};
    const QList<QString> hashes = venue.pictures().values();
    return QSet<QString>(hashes.cbegin(), hashes.cend());
}

// One line a station: the revision it follows and what it lacks.
void printStations(const DeskSession& session, const QString& revision, CommandLine& cli)
{
    for (const StationStatus& station : session.stations()) {
        QString line = station.catalogueRevision == revision ? "follows it"
                       : station.catalogueRevision.isEmpty()
                           ? QStringLiteral("not yet")
                           : QString("still on the one published %1 (revision %2)")
                                 .arg(DeskConnection::time(station.cataloguePublished), station.catalogueRevision);
        if (station.catalogueRevision == revision && !station.hiddenGames.isEmpty())
            line += "; not installed there: " + station.hiddenGames.join(", ");
        if (!station.online)
            line += " (offline; it takes the catalogue when it is back)";
        cli.out() << "  " << station.station << ": " << line << '\n';
    }
}

// The desk's page fetches the pictures as files from the broker's page folder; the stations keep
// taking them over MQTT. A desk that cannot reach that folder (nerq-venue run on another PC than
// the broker) still publishes: the page then asks the broker for them, slowly.
void putBesideThePage(const QString& pageDir, const VenueCatalogue& venue, const QMap<QString, QByteArray>& pictures,
                      CommandLine& cli)
{
    QString error;
    if (pageDir.isEmpty())
        error = "the desk's file names no page folder (a console.conf from before nerq-venue init put one in)";
    else if (DeskPage(pageDir).putPictures(venue.revision(), pictures, &error))
        return;
    cli.out() << "The pictures are not beside the desk's page: " << error
              << ". The page gets them from the broker instead, slowly.\n";
}

int publish(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kPublishDescription);
    parser.addOptions({DeskConnection::configOption(),
                       QCommandLineOption("catalogue-dir", "The folder holding game/ (default: the working directory).",
                                          "DIR", QDir::currentPath()),
                       QCommandLineOption("wait", "How long to wait for the stations (default 10).", "SECONDS", "10")});
    int status = 0;
    int wait = 0;
    BrokerConfig config;
    if (!cli.parse(parser, "nerq-venue catalogue publish --catalogue-dir DIR [--wait SECONDS]", arguments, &status)
        || !cli.number(parser, "wait", 0, 3600, &wait, &status) || !DeskConnection::load(parser, cli, &config, &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli.usageError("catalogue publish takes no argument");

    VenueCatalogue venue;
    QMap<QString, QByteArray> pictures;
    QString error;
    if (!venue.build(parser.value("catalogue-dir"), &pictures, &error))
        return cli.fail(error + "; nothing published");
    venue.setPublished(nowMs());

    DeskSession session(config);
    if (!DeskConnection::open(session, cli, &status, true))
        return status;
    putBesideThePage(DeskPage::fromConsole(parser.value("config")), venue, pictures, cli);
    // The pictures first, so a station that takes the catalogue finds them; pictures no game
    // shows any more leave the broker after it.
    QList<DeskSession::Message> messages;
    for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
        messages.append({VenueTopics::picture(it.key()), it.value(), true});
    messages.append({VenueTopics::catalogue(), venue.payload(), true});
    for (const QString& hash : pictureHashes(session.cataloguePayload())) {
        if (!pictures.contains(hash))
            messages.append({VenueTopics::picture(hash), QByteArray(), true});
    }
    if (!session.deliver(messages, kPublishTimeoutMs, &error)) {
        session.close();
        return cli.fail(error + "; the venue catalogue may not be published");
    }
    const int games = venue.gameIds().size();
    cli.out() << "Published venue catalogue " << venue.revision() << ": " << games << " games, " << pictures.size()
              << " pictures.\n";
    const auto followed = [&] {
        for (const StationStatus& station : session.stations()) {
            if (station.online && station.catalogueRevision != venue.revision())
                return false;
        }
        return true;
    };
    session.waitUntil(followed, wait * 1000);
    printStations(session, venue.revision(), cli);
    session.close();
    return 0;
}

int show(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kShowDescription);
    parser.addOptions({DeskConnection::configOption(), QCommandLineOption("json", "Print it as JSON.")});
    int status = 0;
    BrokerConfig config;
    if (!cli.parse(parser, "nerq-venue catalogue show [--json]", arguments, &status)
        || !DeskConnection::load(parser, cli, &config, &status))
        return status;
    DeskSession session(config);
    if (!DeskConnection::open(session, cli, &status, true))
        return status;
    session.close();
    const QByteArray payload = session.cataloguePayload();
    if (payload.isEmpty()) {
        cli.out() << "No venue catalogue is published; every station keeps its own.\n";
        return 0;
    }
    VenueCatalogue venue;
    QString error;
    if (!venue.parse(payload, &error))
        return cli.fail("the broker keeps a venue catalogue that stations refuse: " + error);
    if (parser.isSet("json")) {
        cli.out() << QJsonDocument::fromJson(payload).toJson(QJsonDocument::Indented);
        return 0;
    }
    cli.out() << "Venue catalogue " << venue.revision() << ", published " << DeskConnection::time(venue.published())
              << ":\n";
    const Json::Value& english = venue.entries(CatalogueStore::English);
    const Json::Value& chinese = venue.entries(CatalogueStore::Chinese);
    for (Json::ArrayIndex i = 0; i < english.size(); ++i) {
        const Json::Value& entry = english[i];
        const std::string id = entry.get("gameId", "").asString();
        QString cn;
        for (const Json::Value& other : chinese) {
            if (other.get("gameId", "").asString() == id)
                cn = QString::fromStdString(other.get("gameName", "").asString());
        }
        const bool native = entry.get("isNative", false).asBool();
        cli.out() << QString("  %1. %2  \"%3\" / \"%4\"  %5  mode %6\n")
                         .arg(i + 1)
                         .arg(QString::fromStdString(id), QString::fromStdString(entry.get("gameName", "").asString()),
                              cn,
                              native ? "native " + QString::fromStdString(entry.get("launcherPath", "").asString())
                                     : QString("Steam %1").arg(entry.get("steamGameId", 0).asInt()))
                         .arg(entry.get("gameMode", 0).asInt());
    }
    cli.out() << "Stations:\n";
    printStations(session, venue.revision(), cli);
    return 0;
}

} // namespace

int runCatalogueCommand(const QStringList& arguments, CommandLine& cli)
{
    const QString action = arguments.isEmpty() ? QString() : arguments.first();
    if (action == QLatin1String("publish"))
        return publish(arguments.mid(1), cli);
    if (action == QLatin1String("show"))
        return show(arguments.mid(1), cli);
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        cli.out() << "Usage: nerq-venue catalogue publish --catalogue-dir DIR [--wait SECONDS]\n"
                     "       nerq-venue catalogue show [--json]\n"
                     "'nerq-venue catalogue publish --help' and 'nerq-venue catalogue show --help' say more.\n";
        return 0;
    }
    return cli.usageError("catalogue takes publish or show");
}
