// The venue's sample payloads (tests/venue/payloads), read as the desk and the stations read them:
// each must reach its verdict. The page's unit tests read the same samples, so the two readings of
// the interface agree; a field one side starts to read differently fails here or there. And what a
// station says of a catalogue is something readers take, whatever that catalogue said.

#include "cataloguefollower.h"
#include "cataloguework.h"
#include "mqttclient.h"
#include "testpaths.h"
#include "venuecatalogue.h"
#include "venuefolder.h"
#include "venueprotocol.h"
#include "venuewaker.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonValue readSamples(const QString& name)
{
    QFile file(TestPaths::sourceDir() + "/tests/venue/payloads/" + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

// The bytes a sample stands for, as its README says.
QByteArray payloadOf(const QJsonObject& sample)
{
    if (sample.contains("text"))
        return sample.value("text").toString().toUtf8();
    if (sample.contains("bytes"))
        return QByteArray::fromBase64(sample.value("bytes").toString().toLatin1());
    QJsonObject payload = sample.value("payload").toObject();
    if (sample.contains("padded"))
        payload.insert("padding", QString(sample.value("padded").toInt(), 'x'));
    if (sample.contains("nested")) {
        QJsonArray nested;
        for (int depth = 1; depth < sample.value("nested").toInt(); ++depth)
            nested = QJsonArray{nested};
        payload.insert("nested", nested);
    }
    return QJsonDocument(payload).toJson(QJsonDocument::Compact);
}

QJsonObject sampleNamed(const char* file, const QString& name)
{
    for (const QJsonValue& sample : readSamples(file).toArray()) {
        if (sample.toObject().value("name").toString() == name)
            return sample.toObject();
    }
    return {};
}

// "accept", "refuse" or "cleared", as the desk or a station decides, with its reason.
QString verdict(const QString& topic, const QByteArray& payload, QString* reason)
{
    if (const QString station = VenueTopics::stationOf(topic, "status"); !station.isEmpty()) {
        StationStatus status;
        if (payload.isEmpty())
            return "cleared";
        return StationStatus::parse(payload, &status, reason) && sameStation(station, status.station, reason)
                   ? "accept"
                   : "refuse";
    }
    if (const QString station = VenueTopics::stationOf(topic, "results"); !station.isEmpty()) {
        CommandResult result;
        return CommandResult::parse(payload, &result, reason) && sameStation(station, result.station, reason)
                   ? "accept"
                   : "refuse";
    }
    if (!VenueTopics::stationOf(topic, "commands").isEmpty()) {
        StationCommand command;
        return StationCommand::parse(payload, &command, reason) ? "accept" : "refuse";
    }
    if (topic == VenueTopics::catalogue()) {
        VenueCatalogue catalogue;
        return catalogue.parse(payload, reason) ? "accept" : "refuse";
    }
    const QTemporaryDir folder;
    return VenuePictures::store(folder.path(), VenueTopics::pictureOf(topic), payload, reason) ? "accept" : "refuse";
}

} // namespace

class VenuePayloadsTest : public QObject
{
    Q_OBJECT

private slots:
    void everySampleReachesItsVerdict_data();
    void everySampleReachesItsVerdict();
    void topicsAreBuiltAndReadAsTheSamplesSay();
    void aStationsInterfacesReadAsThePageReadsThem();
    void nerqVenuesPowerCommandHasTheFormOfAnAcceptedSample();
    void aStationSaysNoCatalogueTimeReadersRefuse();
    void theRecorderReadsWakeRequestsAsTheSamplesSay();
};

void VenuePayloadsTest::everySampleReachesItsVerdict_data()
{
    QTest::addColumn<QJsonObject>("sample");
    int count = 0;
    for (const char* file : {"status.json", "results.json", "commands.json", "catalogue.json", "pictures.json"}) {
        for (const QJsonValue& sample : readSamples(file).toArray()) {
            QTest::newRow(qPrintable(QString("%1: %2").arg(file, sample.toObject().value("name").toString())))
                << sample.toObject();
            ++count;
        }
    }
    QVERIFY2(count > 50, "the sample payloads are missing");
}

void VenuePayloadsTest::everySampleReachesItsVerdict()
{
    QFETCH(QJsonObject, sample);
    QString reason;
    const QString reached = verdict(sample.value("topic").toString(), payloadOf(sample), &reason);
    QVERIFY2(reached == sample.value("verdict").toString(), qPrintable(reached + ": " + reason));
}

void VenuePayloadsTest::topicsAreBuiltAndReadAsTheSamplesSay()
{
    const QJsonObject interface = readSamples("interface.json").toObject();
    QCOMPARE(VenueTopics::root(), interface.value("root").toString());
    QCOMPARE(QString(VenueFolder::kDeskUser), interface.value("deskUser").toString());
    const QJsonArray topics = interface.value("topics").toArray();
    QVERIFY(topics.size() > 5);
    for (const QJsonValue& value : topics) {
        const QJsonObject sample = value.toObject();
        const QString topic = sample.value("topic").toString();
        const QString kind = sample.value("kind").toString();
        const QString station = sample.value("station").toString();
        for (const char* leaf : {"status", "results", "commands"})
            QCOMPARE(VenueTopics::stationOf(topic, leaf), kind == leaf ? station : QString());
        QCOMPARE(VenueTopics::pictureOf(topic), sample.value("sha").toString());
        if (kind == "status")
            QCOMPARE(VenueTopics::status(station), topic);
        else if (kind == "results")
            QCOMPARE(VenueTopics::results(station), topic);
        else if (kind == "commands")
            QCOMPARE(VenueTopics::commands(station), topic);
        else if (kind == "catalogue")
            QCOMPARE(VenueTopics::catalogue(), topic);
        else if (kind == "picture")
            QCOMPARE(VenueTopics::picture(sample.value("sha").toString()), topic);
        else if (kind == "today")
            QCOMPARE(VenueTopics::todayReport(), topic);
        else if (kind == "wake")
            QCOMPARE(VenueTopics::wakeRequest(), topic);
        else if (kind == "wakeAnswer")
            QCOMPARE(VenueTopics::report("wake"), topic);
        else
            QVERIFY2(topic != VenueTopics::catalogue(), qPrintable(topic));
    }
}

void VenuePayloadsTest::aStationsInterfacesReadAsThePageReadsThem()
{
    StationStatus status;
    QString error;
    QVERIFY2(
        StationStatus::parse(payloadOf(sampleNamed("status.json", "the interfaces to wake it by")), &status, &error),
        qPrintable(error));
    const QVector<NetworkAddress> expected{{"02:1a:2b:3c:4d:5e", "192.168.1.255"},
                                           {"02:1a:2b:3c:4d:5f", "10.0.255.255"}};
    QCOMPARE(status.network, expected);
}

// What nerq-venue power sends is what the stations take.
void VenuePayloadsTest::nerqVenuesPowerCommandHasTheFormOfAnAcceptedSample()
{
    const QJsonObject accepted = sampleNamed("commands.json", "nerq-venue's power off");
    QCOMPARE(accepted.value("verdict").toString(), QString("accept"));
    const QJsonObject payload = accepted.value("payload").toObject();
    StationCommand command;
    command.id = payload.value("id").toString();
    command.command = "power";
    command.expires = qint64(payload.value("expires").toDouble());
    command.by = payload.value("by").toString();
    command.station = payload.value("station").toString();
    command.action = "off";
    QCOMPARE(QJsonDocument::fromJson(command.toJson()).object(), payload);
}

// A venue catalogue that says it was published before the epoch, or past what the interface
// carries, must not make every status of the station one that readers refuse.
void VenuePayloadsTest::aStationSaysNoCatalogueTimeReadersRefuse()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("game"));
    MqttClient unused(BrokerConfig(), "unused");
    CatalogueWork work;
    CatalogueFollower follower(unused, work, dir.path(), {});
    QSignalSpy changed(&follower, &CatalogueFollower::changed);
    const QJsonArray games{QJsonObject{{"gameId", "alyx"},
                                       {"gameName", "Alyx"},
                                       {"imgPath", ""},
                                       {"isNative", false},
                                       {"launcherPath", ""},
                                       {"steamGameId", 546560},
                                       {"gameMode", 3}}};
    for (const double published : {-5.0, 1152921504606846976.0, 1800000000000.0}) {
        const QJsonObject venue{
            {"revision", QString::number(published)}, {"published", published}, {"en", games}, {"cn", games}};
        follower.handleCatalogue(QJsonDocument(venue).toJson());
        QVERIFY(changed.wait(5000));
        QJsonObject status{{"online", true}, {"station", "st01"}};
        follower.addTo(status);
        StationStatus read;
        QString error;
        QVERIFY2(StationStatus::parse(QJsonDocument(status).toJson(), &read, &error), qPrintable(error));
        QCOMPARE(read.cataloguePublished, published == 1800000000000.0 ? qint64(published) : 0);
    }
}

void VenuePayloadsTest::theRecorderReadsWakeRequestsAsTheSamplesSay()
{
    const QJsonArray samples = readSamples("wake.json").toArray();
    QVERIFY(samples.size() > 5);
    for (const QJsonValue& value : samples) {
        const QJsonObject sample = value.toObject();
        QString reason;
        const bool read = VenueWaker::readRequest(payloadOf(sample), &reason).has_value();
        QVERIFY2(read == (sample.value("verdict").toString() == "accept"),
                 qPrintable(sample.value("name").toString() + ": " + reason));
    }
    QString reason;
    const std::optional<VenueWaker::Request> named =
        VenueWaker::readRequest(payloadOf(sampleNamed("wake.json", "some stations, one named twice")), &reason);
    QVERIFY(named);
    QCOMPARE(named->stations, QStringList({"st01", "st02"}));
}

QTEST_GUILESS_MAIN(VenuePayloadsTest)
#include "tst_venuepayloads.moc"
