// Opening and closing a venue, the parts on this side of the operating system: Wake-on-LAN magic
// packets as a listener on loopback receives them, the network addresses a station would report,
// and the power seam: the stand-in that tests get, and logind asked over D-Bus, here a bus of the
// test's own where the test answers as logind. Nothing is ever sent beyond loopback, nor asked of
// this machine's own logind.

#include "logindpowercontrol.h"
#include "networkaddresses.h"
#include "powercontrol.h"
#include "wakeonlan.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

const char kMac[] = "02:1a:2b:3c:4d:5e";

// What logind would do, on the test's own bus: note each call, or refuse it.
class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit FakeLogind(const QDBusConnection& bus)
        : m_bus(bus)
    {}
    QStringList calls;
    bool refuse = false;

public slots:
    void PowerOff(bool interactive, const QDBusMessage& message) { answer("PowerOff", interactive, message); }
    void Reboot(bool interactive, const QDBusMessage& message) { answer("Reboot", interactive, message); }

private:
    void answer(const QString& method, bool interactive, const QDBusMessage& message)
    {
        calls << QString("%1 %2").arg(method).arg(interactive ? "interactive" : "not interactive");
        if (!refuse)
            return;
        message.setDelayedReply(true);
        m_bus.send(message.createErrorReply("org.freedesktop.login1.OperationInProgress",
                                            "There's already a shutdown or sleep operation in progress"));
    }

    QDBusConnection m_bus;
};

} // namespace

class TestPower : public QObject
{
    Q_OBJECT

private slots:
    void magicPacketsReachALoopbackListener_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("an address") << "127.0.0.1";
        QTest::newRow("the loopback's broadcast address") << "127.255.255.255";
    }

    void magicPacketsReachALoopbackListener()
    {
        QFETCH(QString, address);
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(address), 0));
        const WakeOnLan::Sent sent = WakeOnLan::send(kMac, {QHostAddress(address), listener.localPort()});
        QVERIFY2(sent.ok, qPrintable(sent.error));
        QTRY_VERIFY(listener.hasPendingDatagrams());
        QByteArray packet(listener.pendingDatagramSize(), '\0');
        listener.readDatagram(packet.data(), packet.size());
        QCOMPARE(packet.size(), 6 + 16 * 6);
        QCOMPARE(packet.left(6), QByteArray(6, '\xff'));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(packet.mid(6 + 6 * i, 6), QByteArray::fromHex("021a2b3c4d5e"));
    }

    void addressesAndTargetsAreReadStrictly()
    {
        QCOMPARE(WakeOnLan::macBytes("02-1A-2B-3C-4D-5E"),
                 std::optional<QByteArray>(QByteArray::fromHex("021a2b3c4d5e")));
        for (const char* bad :
             {"02:1a:2b:3c:4d", "02:1a:2b:3c:4d:5e:6f", "02:1a:2b:3c:4d:zz", "021a2b3c4d5e", "02:1a:2b:3c:4d:5e\n", ""})
            QVERIFY2(!WakeOnLan::macBytes(bad), bad);
        QVERIFY(!WakeOnLan::send("not a mac", {QHostAddress::LocalHost, 9}).ok);

        QString error;
        auto target = WakeOnLan::parseTarget("192.168.7.255", &error);
        QVERIFY(target && target->address == QHostAddress("192.168.7.255") && target->port == 9);
        target = WakeOnLan::parseTarget("10.0.0.255:7", &error);
        QVERIFY(target && target->port == 7);
        target = WakeOnLan::parseTarget("[::1]:4000", &error);
        QVERIFY(target && target->address == QHostAddress::LocalHostIPv6 && target->port == 4000);
        QVERIFY(WakeOnLan::parseTarget("::1", &error));
        QVERIFY(!WakeOnLan::parseTarget("desk-pc:9", &error) && error.contains("no IP address"));
        QVERIFY(!WakeOnLan::parseTarget("10.0.0.255:0", &error) && error.contains("no port"));
        QVERIFY(!WakeOnLan::parseTarget("10.0.0.255:70000", &error));
    }

    void thisMachinesAddressesAreFitForAStatus()
    {
        const QVector<NetworkAddress> addresses = localNetworkAddresses();
        for (const NetworkAddress& address : addresses) {
            QVERIFY2(WakeOnLan::macBytes(address.mac), qPrintable(address.mac));
            QVERIFY2(!QHostAddress(address.broadcast).isLoopback(), qPrintable(address.broadcast));
        }
        QVector<NetworkAddress> back;
        QString error;
        QVERIFY2(networkFromJson(networkToJson(addresses), &back, &error), qPrintable(error));
        QCOMPARE(back, addresses);
        QVERIFY(!networkFromJson(R"([{"mac":"02:1a:2b:3c:4d:5e","broadcast":"300.1.1.1"}])", &back, &error));
        QVERIFY(!networkFromJson(R"({"mac":"02:1a:2b:3c:4d:5e"})", &back, &error));
    }

    void testsGetTheStandInThatOnlyNotes()
    {
        QTemporaryDir dir;
        const QString notes = dir.filePath("power-notes");
        qputenv("NERQ_POWER_NOTES", notes.toUtf8());
        const std::unique_ptr<PowerControl> power = PowerControl::forThisMachine();
        QVERIFY(dynamic_cast<NotedPowerControl*>(power.get()));
        QStringList answers;
        const auto answer = [&](const PowerControl::Outcome& outcome) {
            answers << (outcome.done ? "done" : outcome.error);
        };
        power->powerOff(answer);
        power->restart(answer);
        QCOMPARE(answers, (QStringList{"done", "done"}));
        QFile file(notes);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.value(0).startsWith("power-off "));
        QVERIFY(lines.value(1).startsWith("restart "));

        NotedPowerControl nowhere(dir.filePath("no/such/folder/notes"));
        nowhere.powerOff(answer);
        QVERIFY(answers.last().contains("no/such/folder/notes"));
    }

    void logindIsAskedOverDBus()
    {
        // A bus of the test's own: the machine's logind never hears of it.
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted())
            QSKIP("dbus-daemon is not installed");
        QVERIFY(daemon.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        {
            QDBusConnection server = QDBusConnection::connectToBus(address, "logind-of-the-test");
            QVERIFY2(server.isConnected(), qPrintable(server.lastError().message()));
            FakeLogind logind(server);
            QVERIFY(server.registerService("org.freedesktop.login1"));
            QVERIFY(server.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportAllSlots));
            LogindPowerControl power(QDBusConnection::connectToBus(address, "agent-of-the-test"));

            QStringList answers;
            const auto answer = [&](const PowerControl::Outcome& outcome) {
                answers << (outcome.done ? "done" : outcome.error);
            };
            power.powerOff(answer);
            QTRY_COMPARE(answers.size(), 1);
            logind.refuse = true;
            power.restart(answer);
            QTRY_COMPARE(answers.size(), 2);
            QCOMPARE(logind.calls, (QStringList{"PowerOff not interactive", "Reboot not interactive"}));
            QCOMPARE(answers.first(), QString("done"));
            QVERIFY2(answers.last().startsWith("logind refused Reboot: There's already a shutdown")
                         && answers.last().contains("org.freedesktop.login1.OperationInProgress"),
                     qPrintable(answers.last()));
        }
        QDBusConnection::disconnectFromBus("logind-of-the-test");
        QDBusConnection::disconnectFromBus("agent-of-the-test");
        daemon.terminate();
        daemon.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPower)
#include "tst_power.moc"
