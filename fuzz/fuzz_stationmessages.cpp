// The station agent's handling of what the broker delivers: commands (the session's too), the venue catalogue and
// its pictures, in any order and any shape. The input is a few sections, each starting with a
// line "==== <name>", one message each:
//   commands            a message on the station's own commands topic
//   catalogue           the retained venue catalogue
//   picture <sha256>    a venue picture
//   ack                 the recorder's acknowledgement of the station's events
//   <anything else>     a message on that topic
// "$SOON" and "$PAST" in a section stand for a time 10 s ahead and one long gone, so commands can
// be fresh or expired.
//
// The station's catalogue folder lists a native game whose launcher is /bin/true and a Steam game;
// xdg-open is /bin/true too, and the device blocks are the fuzzer's own. Besides not crashing or
// leaking, the agent must leave catalogues the program loads whole; leave them byte for byte as
// they were when no section was a catalogue it accepts; keep only pictures whose bytes have the
// hash they are named after; and note each command id once at most.

#include "agentclock.h"
#include "brokerconfig.h"
#include "catalogue.h"
#include "cataloguestore.h"
#include "fuzzsections.h"
#include "mqttclient.h"
#include "stationagent.h"
#include "venuecatalogue.h"
#include "venueprotocol.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

const char kStation[] = "fuzz01";

struct Harness {
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir work;
    QString catalogueDir;
    QByteArray original[2];
};

Harness* g_harness = nullptr;

QByteArray gameList(const QString& trueProgram, const QString& nativeName)
{
    return QString(R"([{"gameId": "native_game", "gameName": "%1", "imgPath": "", "isNative": true,)"
                   R"( "launcherPath": "%2", "steamGameId": 0, "gameMode": 2},)"
                   R"( {"gameId": "steam_game", "gameName": "Steam", "imgPath": "", "isNative": false,)"
                   R"( "launcherPath": "", "steamGameId": 570, "gameMode": 1}])")
        .arg(nativeName, trueProgram)
        .toUtf8();
}

void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz_stationmessages";
    static char* argv[] = {name, nullptr};
    g_harness = new Harness;
    g_harness->app = std::make_unique<QCoreApplication>(argc, argv);
    const QString work = g_harness->work.path();
    QDir().mkpath(work + "/bin");
    QFile::link("/bin/true", work + "/bin/xdg-open");
    qputenv("PATH", (work + "/bin:").toUtf8() + qgetenv("PATH"));
    qputenv("HOME", (work + "/home").toUtf8());
    qputenv("XDG_STATE_HOME", (work + "/state").toUtf8());
    qputenv("NERQ_BLOCK_PREFIX", QString("nerqfuzz.%1.").arg(getpid()).toUtf8());
    // A power command the fuzzer makes up is only ever noted here, never carried out.
    qputenv("NERQ_POWER_NOTES", (work + "/power-notes").toUtf8());
    g_harness->catalogueDir = work + "/catalogue";
    g_harness->original[0] = gameList("/bin/true", "Native");
    g_harness->original[1] = gameList("/bin/true", "本地");
    QDir().mkpath(g_harness->catalogueDir + "/game");
}

// Each input starts from the same folder.
void resetFolder()
{
    QDir(g_harness->catalogueDir).removeRecursively();
    QDir().mkpath(g_harness->catalogueDir + "/game");
    for (int i = 0; i < 2; ++i) {
        QFile file(CatalogueStore::filePath(g_harness->catalogueDir, CatalogueStore::kLanguages[i]));
        file.open(QIODevice::WriteOnly);
        file.write(g_harness->original[i]);
    }
    QFile::remove(g_harness->work.path() + "/state/journal");
    QFile::remove(g_harness->work.path() + "/state/agent");
    QFile::remove(g_harness->work.path() + "/state/events");
}

QByteArray substitute(QByteArray payload)
{
    payload.replace("$SOON", QByteArray::number(nowMs() + 10000));
    payload.replace("$PAST", "1000");
    return payload;
}

QString topicOf(const QString& name)
{
    if (name == "commands")
        return VenueTopics::commands(kStation);
    if (name == "catalogue")
        return VenueTopics::catalogue();
    if (name.startsWith("picture "))
        return VenueTopics::picture(name.mid(8));
    if (name == "ack")
        return VenueTopics::recorderAck(kStation);
    return name;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_stationmessages: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_harness)
        setUp();
    resetFolder();
    uint8_t flags = 0;
    const std::vector<Section> sections =
        splitSections(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)), &flags);

    BrokerConfig broker;
    broker.host = "127.0.0.1";
    broker.user = kStation;
    broker.station = true;
    MqttClient mqtt(broker, "fuzz"); // never started: what the agent publishes goes nowhere
    StationSettings settings;
    settings.station = kStation;
    settings.catalogueDir = g_harness->catalogueDir;
    settings.steamRoots = QStringList{g_harness->work.path() + "/no-steam"};
    settings.journalPath = g_harness->work.path() + "/state/journal";
    settings.statePath = g_harness->work.path() + "/state/agent";
    settings.endGames = false; // a session's end here must not touch this machine's processes
    settings.eventsPath = g_harness->work.path() + "/state/events";
    StationAgent agent(mqtt, settings, AgentClock::system());

    bool accepted = false;
    for (const Section& section : sections) {
        const QByteArray payload = substitute(section.content);
        if (section.name == "catalogue") {
            VenueCatalogue venue;
            QString error;
            accepted = accepted || venue.parse(payload, &error);
        }
        agent.handleMessage(topicOf(section.name), payload);
    }
    // Catalogues and pictures are written beside the loop; their outcomes come back through it.
    QElapsedTimer waited;
    waited.start();
    while (!agent.idle() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    check(agent.idle(), "the work on the catalogue folder did not end within 10 s");
    QCoreApplication::processEvents();

    for (int i = 0; i < 2; ++i) {
        const QByteArray now =
            readFile(CatalogueStore::filePath(g_harness->catalogueDir, CatalogueStore::kLanguages[i]));
        Catalogue catalogue;
        catalogue.read(now);
        check(catalogue.problems().empty(), "a catalogue the program would not load whole was left");
        check(accepted || now == g_harness->original[i], "a catalogue changed without a venue catalogue");
    }
    const QDir images(g_harness->catalogueDir + "/game/images");
    for (const QString& name : images.entryList(QDir::Files)) {
        const QByteArray hash = QCryptographicHash::hash(readFile(images.filePath(name)), QCryptographicHash::Sha256);
        check(name.startsWith(QString::fromLatin1(hash.toHex()) + '.'), "a picture does not have the hash of its name");
    }
    const QJsonArray noted =
        QJsonDocument::fromJson(readFile(settings.journalPath)).object().value("commands").toArray();
    QSet<QString> ids;
    for (const QJsonValue& entry : noted) {
        const QString id = entry.toObject().value("id").toString();
        check(!ids.contains(id), "a command id was noted twice");
        ids.insert(id);
    }
    return 0;
}
