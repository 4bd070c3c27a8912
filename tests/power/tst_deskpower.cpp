// Opening and closing from the desk, end to end: nerq-venue wake with the addresses stations
// reported (through the broker, or from the books while the broker is down), its packets caught by
// a listener on loopback; nerq-venue power as a command a station played by the test receives and
// answers. No packet leaves loopback; no power call reaches any machine.

#include "brokerclients.h"
#include "eventloopwait.h"
#include "mqttclient.h"
#include "recorderprocess.h"
#include "recordertesting.h"
#include "testpaths.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

// nerq-venue, run while this test's event loop goes on (a station here may have to answer it).
QString venue(const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TestPaths::tool("nerq-venue"), arguments);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

// A station as the desk sees it: its retained status, and answers to its commands.
class Station
{
public:
    Station(VenueBroker& broker, const QString& id, bool online, const QVector<NetworkAddress>& network)
        : m_id(id)
        , m_mqtt(stationConfig(broker.addStation(id)), "test-station-" + id)
        , m_status(statusPayload(id, online, nowMs(), network))
    {
        QObject::connect(&m_mqtt, &MqttClient::connected,
                         [this] { m_mqtt.publish(VenueTopics::status(m_id), m_status, true); });
        QObject::connect(&m_mqtt, &MqttClient::published, [this](int) { m_statusTaken = true; });
        QObject::connect(&m_mqtt, &MqttClient::subscribed, [this](const QString&) { m_listening = true; });
        QObject::connect(&m_mqtt, &MqttClient::messageReceived,
                         [this](const QString&, const QByteArray& payload, bool) { answer(payload); });
        m_mqtt.subscribe(VenueTopics::commands(m_id));
        m_mqtt.start();
        waitUntil([this] { return m_statusTaken && m_listening; }, 10000);
    }

    QJsonObject lastCommand;
    QString refusal; // the error it answers with; empty: it does it

private:
    void answer(const QByteArray& payload)
    {
        lastCommand = QJsonDocument::fromJson(payload).object();
        CommandResult result;
        result.id = lastCommand.value("id").toString();
        result.station = m_id;
        result.ok = refusal.isEmpty();
        result.error = refusal;
        result.at = nowMs();
        m_mqtt.publish(VenueTopics::results(m_id), result.toJson(), false);
    }

    QString m_id;
    MqttClient m_mqtt;
    QByteArray m_status;
    bool m_statusTaken = false; // the broker has the status
    bool m_listening = false;   // and the station its commands
};

// The MACs of the magic packets that reached the listener, in order.
QStringList macsReceived(QUdpSocket& listener)
{
    QStringList macs;
    waitUntil([] { return false; }, 300);
    while (listener.hasPendingDatagrams()) {
        QByteArray packet(listener.pendingDatagramSize(), '\0');
        listener.readDatagram(packet.data(), packet.size());
        if (packet.size() == 102 && packet.startsWith(QByteArray(6, '\xff'))
            && packet.mid(6, 6).repeated(16) == packet.mid(6))
            macs << packet.mid(6, 6).toHex(':');
        else
            macs << "a packet that is not a magic packet";
    }
    return macs;
}

} // namespace

class TestDeskPower : public QObject
{
    Q_OBJECT

private slots:
    void wakeSendsAPacketForEveryInterfaceReported()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        // The stations' statuses stay retained as long as they run; nothing else is asked of them.
        const Station stations[] = {
            {broker, "st01", false, {{"02:00:00:00:01:01", "192.168.7.255"}}},
            {broker, "st02", true, {{"02:00:00:00:02:01", "10.1.255.255"}, {"02:00:00:00:02:02", "10.2.255.255"}}},
            {broker, "st03", true, {}}};
        Q_UNUSED(stations);
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const QString to = QString("127.0.0.1:%1").arg(listener.localPort());
        int exitCode = 0;
        QString output = venue({"wake", broker.dir(), "--station", "st02,st01", "--to", to}, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(macsReceived(listener), (QStringList{"02:00:00:00:02:01", "02:00:00:00:02:02", "02:00:00:00:01:01"}));
        QVERIFY2(output.contains("st01: magic packet for 02:00:00:00:01:01 to 127.0.0.1:"), qPrintable(output));

        // A station that never said how to wake it is named, and the others are woken all the same.
        output = venue({"wake", broker.dir(), "--station", "st03,st01", "--to", to}, &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("st03: no network address known"), qPrintable(output));
        QCOMPARE(macsReceived(listener), QStringList{"02:00:00:00:01:01"});

        venue({"wake", broker.dir(), "--all", "--to", to}, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(macsReceived(listener).size(), 3);
        QCOMPARE(venue({"wake", broker.dir(), "--all", "--to", "desk-pc"}, &exitCode).count("no IP address"), 1);
        QCOMPARE(exitCode, 2);
        venue({"wake", broker.dir(), "--all", "--station", "st01"}, &exitCode);
        QCOMPARE(exitCode, 2);
    }

    void wakeWithTheBrokerDownUsesWhatTheBooksKeep()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        RecorderProcess recorder(broker.dir());
        QVERIFY2(recorder.start(), qPrintable(recorder.log()));
        {
            Station st01(broker, "st01", true, {{"02:00:00:00:01:01", "192.168.7.255"}});
            const QString path = recorder.databasePath();
            QVERIFY(waitUntil(
                [&] {
                    return scalar(path, "SELECT COUNT(*) FROM stations WHERE network LIKE '%02:00:00:00:01:01%'") == 1;
                },
                5000));
        }
        recorder.stop();
        broker.stop();
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QHostAddress::LocalHost), 0));
        int exitCode = 0;
        const QString output = venue(
            {"wake", broker.dir(), "--station", "st01", "--to", QString("127.0.0.1:%1").arg(listener.localPort())},
            &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY2(output.contains("using the addresses the books keep"), qPrintable(output));
        QCOMPARE(macsReceived(listener), QStringList{"02:00:00:00:01:01"});
    }

    void powerGoesToEachStationAsACommand()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        Station st01(broker, "st01", true, {});
        const Station st02(broker, "st02", false, {});
        Q_UNUSED(st02); // offline: its retained status is all the desk needs
        int exitCode = 0;
        QString output = broker.runDesk({"power", "off", "--station", "st02"}, &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("st02: offline since"), qPrintable(output));

        const QString config = broker.dir() + "/console.conf";
        output = venue({"power", "off", "--station", "st01", "--config", config}, &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY2(output.contains("st01: switching off"), qPrintable(output));
        QCOMPARE(st01.lastCommand.value("command").toString(), QString("power"));
        QCOMPARE(st01.lastCommand.value("action").toString(), QString("off"));
        QCOMPARE(st01.lastCommand.value("force").toBool(), false);

        // A station in a session says no, unless forced.
        st01.refusal = "a session runs; --force switches the station off all the same";
        output = venue({"power", "restart", "--station", "st01", "--config", config}, &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("st01: FAILED: a session runs"), qPrintable(output));
        st01.refusal.clear();
        output = venue({"power", "restart", "--all", "--force", "--config", config}, &exitCode);
        QVERIFY2(output.contains("st01: restarting"), qPrintable(output));
        QCOMPARE(st01.lastCommand.value("action").toString(), QString("restart"));
        QCOMPARE(st01.lastCommand.value("force").toBool(), true);
    }

    void powerRefusesWhatItCannotMeanBeforeItConnects()
    {
        int exitCode = 0;
        const QString missing = "/nonexistent/console.conf";
        for (const QStringList& arguments :
             {QStringList{"power", "--station", "st01"}, QStringList{"power", "sleep", "--all"},
              QStringList{"power", "off"}, QStringList{"power", "off", "--all", "--station", "st01"},
              QStringList{"power", "off", "restart", "--all"}}) {
            const QString output = venue(arguments + QStringList{"--config", missing}, &exitCode);
            QVERIFY2(exitCode == 2 && !output.contains(missing), qPrintable(arguments.join(' ') + ": " + output));
        }
    }
};

QTEST_GUILESS_MAIN(TestDeskPower)
#include "tst_deskpower.moc"
