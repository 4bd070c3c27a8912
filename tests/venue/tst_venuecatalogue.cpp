// The venue catalogue end to end: published by nerq-venue from a desk's catalogue folder, taken
// by real nerq-station agents whose PCs have different games installed, and kept by the Steam
// scan the program's launcher runs at every start.

#include "desksession.h"
#include "programrun.h"
#include "testpaths.h"
#include "teststation.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QJsonArray games(const QByteArray& catalogue)
{
    return QJsonDocument::fromJson(catalogue).array();
}

QStringList ids(const QByteArray& catalogue)
{
    QStringList result;
    for (const QJsonValue& game : games(catalogue))
        result << game.toObject().value("gameId").toString();
    return result;
}

void writePicture(const QString& path, const QColor& color)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(color);
    image.save(path, "PNG");
}

} // namespace

class VenueCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void stationsShowTheVenueGamesTheyHave();
};

void VenueCatalogueTest::stationsShowTheVenueGamesTheyHave()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    TestStation st01("st01", broker.addStation("st01"));
    TestStation st02("st02", broker.addStation("st02"));

    // st01 has the native game "orbit"; st02 has the Steam game 546560; both have "reef".
    const QString orbit = st01.nativeGame("orbit");
    st01.nativeGame("reef");
    st02.nativeGame("reef");
    st02.installSteamGame(546560, "Half-Life: Alyx");
    // Each had games of its own; following the venue, they go.
    st01.writeCatalogue({TestStation::nativeEntry("local_only", st01.nativeGame("local"), 0)});
    st02.writeCatalogue({});

    // The desk's folder, as nerq-catalogue keeps it.
    QTemporaryDir desk;
    writePicture(desk.filePath("game/images/orbit.png"), Qt::red);
    writePicture(desk.filePath("game/images/alyx.png"), Qt::green);
    const QByteArray english =
        "[" + TestStation::nativeEntry("orbit", orbit, 2, "Orbit", "../game/images/orbit.png") + ",\n"
        + TestStation::steamEntry("alyx", 546560, 3, "Alyx") + ",\n"
        + TestStation::nativeEntry("reef", "./game/native/reef.sh", 4, "Deep Reef", "../game/images/alyx.png") + "]";
    QByteArray chinese = english;
    chinese.replace("\"Deep Reef\"", "\"深海\"");
    QDir().mkpath(desk.filePath("game"));
    for (const auto& [name, content] :
         {std::pair<QString, QByteArray>{"data_en.json", english}, {"data_cn.json", chinese}}) {
        QFile file(desk.filePath("game/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    // Published while st02 is off: it takes the catalogue when it comes.
    QVERIFY2(st01.start(), qPrintable(st01.log()));
    int status = -1;
    QString output = broker.runDesk({"catalogue", "publish", "--catalogue-dir", desk.path(), "--wait", "5"}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    QVERIFY2(st02.start(), qPrintable(st02.log()));

    QVERIFY2(waitUntil(
                 [&] {
                     return ids(st01.catalogue()) == QStringList({"orbit", "reef"});
                 },
                 10000),
             qPrintable(st01.catalogue() + st01.log()));
    QVERIFY2(waitUntil(
                 [&] {
                     return ids(st02.catalogue()) == QStringList({"alyx", "reef"});
                 },
                 10000),
             qPrintable(st02.catalogue() + st02.log()));
    QCOMPARE(ids(st01.catalogue("cn")), QStringList({"orbit", "reef"}));
    QCOMPARE(games(st02.catalogue("cn"))[1].toObject().value("gameName").toString(), QString("深海"));
    QCOMPARE(games(st01.catalogue())[0].toObject().value("gameMode").toInt(), 2);
    // Each picture once per content, under its hash, where the page finds it.
    const QString orbitPicture = games(st01.catalogue())[0].toObject().value("imgPath").toString();
    QVERIFY2(orbitPicture.startsWith("../game/images/") && orbitPicture.endsWith(".png"), qPrintable(orbitPicture));
    QCOMPARE(QImage(QDir::cleanPath(st01.catalogueDir() + "/res/" + orbitPicture)).pixelColor(1, 1), QColor(Qt::red));
    QCOMPARE(games(st02.catalogue())[1].toObject().value("imgPath").toString(),
             games(st01.catalogue())[1].toObject().value("imgPath").toString());

    DeskSession session(broker.desk());
    QString error;
    QVERIFY2(session.open(5000, &error), qPrintable(error));
    // Each station says so in its status, which may come a moment after its files.
    const auto follows = [&](const QString& station) {
        return !session.stations().value(station).catalogueRevision.isEmpty();
    };
    QVERIFY(session.waitUntil([&] { return follows("st01") && follows("st02"); }, 5000));
    const QString revision = session.stations().value("st01").catalogueRevision;
    QCOMPARE(session.stations().value("st02").catalogueRevision, revision);
    // When it was published, as each station reports it; the pictures beside the desk's page, all
    // in one file.
    QVERIFY(qAbs(session.stations().value("st02").cataloguePublished - nowMs()) < 60000);
    QCOMPARE(QDir(broker.dir() + "/page/pictures").entryList(QDir::Files), QStringList{revision});
    QFile pictures(broker.dir() + "/page/pictures/" + revision);
    QVERIFY(pictures.open(QIODevice::ReadOnly) && pictures.readLine() == "NERQ-PICTURES 1\n");
    QCOMPARE(session.stations().value("st01").hiddenGames, QStringList{"alyx"});
    QCOMPARE(session.stations().value("st02").hiddenGames, QStringList{"orbit"});

    // The scan the launcher runs at every start adds nothing else to a station that follows,
    // though Steam has another VR game there.
    st01.installSteamGame(620980, "Beat Saber");
    int scanStatus = -1;
    const QString scan = runTool(
        TestPaths::tool("nerq-catalogue"),
        {"scan", "--catalogue-dir", st01.catalogueDir(), "--steam-root", st01.home() + "/.steam/steam"}, &scanStatus);
    QVERIFY2(scanStatus == 0, qPrintable(scan));
    QCOMPARE(ids(st01.catalogue()), QStringList({"orbit", "reef"}));

    // Installed later, a venue game appears at its place once the desk has the station scan.
    st01.installSteamGame(546560, "Half-Life: Alyx");
    output = broker.runDesk({"scan", "--station", "st01"}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    QCOMPARE(ids(st01.catalogue()), QStringList({"orbit", "alyx", "reef"}));

    // A catalogue the program would refuse changes nothing anywhere.
    const QByteArray before = st01.catalogue();
    QByteArray duplicate = english;
    duplicate.replace("\"alyx\"", "\"orbit\"");
    QFile file(desk.filePath("game/data_en.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(duplicate);
    file.close();
    output = broker.runDesk({"catalogue", "publish", "--catalogue-dir", desk.path()}, &status);
    QVERIFY2(status == 1 && output.contains("nothing published"), qPrintable(output));
    QVERIFY(session.mqtt().publish(VenueTopics::catalogue(),
                                   R"({"revision": "bad", "en": [{"gameId": 1}, {"gameId": 1}], "cn": []})", false)
            >= 0);
    QVERIFY2(st01.waitForLog("Venue catalogue refused", 5000), qPrintable(st01.log()));
    // cppcheck-suppress knownConditionTrueFalse ; the file is read again
    QCOMPARE(st01.catalogue(), before);
    session.close();
}

QTEST_GUILESS_MAIN(VenueCatalogueTest)
#include "tst_venuecatalogue.moc"
