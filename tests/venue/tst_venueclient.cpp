// The venue's MQTT client and the desk's session against real Mosquitto brokers: a client stopped
// and started again, and what a broker refuses said as a refusal: a subscription (a broker with
// Mosquitto's dynamic security plugin, which checks subscriptions, as an integrator's may), a
// message the ACL forbids (nerq-venue catalogue publish), and statuses the desk cannot use.

#include "desksession.h"
#include "mqttclient.h"
#include "programrun.h"
#include "testpaths.h"
#include "venuebroker.h"
#include "venueprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool appendFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(content) == content.size();
}

// A broker whose only client, "admin", may subscribe to nothing of the venue: Mosquitto's dynamic
// security plugin refuses such a subscription with reason code 135 (not authorised).
class DynamicSecurityBroker
{
public:
    ~DynamicSecurityBroker()
    {
        m_broker.kill();
        m_broker.waitForFinished(5000);
    }

    bool start(QString* error)
    {
        const QStringList plugins = QDir("/usr/lib").entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& folder : plugins) {
            if (QFileInfo::exists("/usr/lib/" + folder + "/mosquitto_dynamic_security.so"))
                m_plugin = "/usr/lib/" + folder + "/mosquitto_dynamic_security.so";
        }
        const QString security = m_dir.filePath("security.json");
        int exitCode = -1;
        runTool("mosquitto_ctrl", {"dynsec", "init", security, "admin", "secret"}, &exitCode);
        QFile file(security);
        if (m_plugin.isEmpty() || exitCode != 0 || !file.open(QIODevice::ReadOnly)) {
            *error = "no dynamic security plugin, or mosquitto_ctrl failed";
            return false;
        }
        // The admin role may subscribe to "#" as made; that grant goes.
        QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        QJsonArray roles = root.value("roles").toArray();
        QJsonObject admin = roles.at(0).toObject();
        QJsonArray kept;
        for (const QJsonValue& acl : admin.value("acls").toArray()) {
            if (acl.toObject().value("topic").toString() != "#")
                kept.append(acl);
        }
        admin.insert("acls", kept);
        roles.replace(0, admin);
        root.insert("roles", roles);
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        const QString conf = m_dir.filePath("mosquitto.conf");
        writeFile(security, QJsonDocument(root).toJson());
        // Started by root, mosquitto would run as "mosquitto", who cannot read this folder.
        const struct passwd* me = ::getpwuid(::geteuid());
        writeFile(conf, QString("user %1\nlistener %2 127.0.0.1\nallow_anonymous false\nplugin %3\n"
                                "plugin_opt_config_file %4\n")
                            .arg(QString::fromLocal8Bit(me ? me->pw_name : "root"))
                            .arg(m_port)
                            .arg(m_plugin, security)
                            .toUtf8());
        m_broker.setProcessChannelMode(QProcess::MergedChannels);
        m_broker.start("mosquitto", {"-c", conf});
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000 && m_broker.state() != QProcess::NotRunning) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
            if (socket.waitForConnected(200))
                return true;
        }
        *error = "the broker did not start: " + QString::fromUtf8(m_broker.readAll());
        return false;
    }

    // console.conf's form, for the admin client.
    QString deskFile()
    {
        BrokerConfig desk;
        desk.host = "127.0.0.1";
        desk.port = m_port;
        desk.user = "admin";
        desk.password = "secret";
        const QString path = m_dir.filePath("console.conf");
        writeFile(path, desk.text());
        return path;
    }

private:
    QTemporaryDir m_dir;
    QString m_plugin;
    int m_port = 0;
    QProcess m_broker;
};

QString runVenueTool(const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TestPaths::tool("nerq-venue"), arguments);
    process.waitForFinished(30000);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

} // namespace

class VenueClientTest : public QObject
{
    Q_OBJECT

private slots:
    void startsAgainAfterStop();
    void aRefusedSubscriptionIsSaidAtOnce();
    void aRefusedCatalogueIsNotReportedPublished();
    void statusesTheDeskCannotUseAreReported();
};

void VenueClientTest::startsAgainAfterStop()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    MqttClient client(broker.desk(), "restarted");
    QSignalSpy subscribed(&client, &MqttClient::subscribed);
    QSignalSpy received(&client, &MqttClient::messageReceived);
    QSignalSpy stopped(&client, &MqttClient::stopped);
    client.subscribe("nerq/v1/echo");
    for (int round = 1; round <= 2; ++round) {
        client.start();
        QTRY_COMPARE_WITH_TIMEOUT(subscribed.size(), round, 5000);
        QVERIFY(client.publish("nerq/v1/echo", QByteArray::number(round), false) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), round, 5000);
        QCOMPARE(received.last().at(1).toByteArray(), QByteArray::number(round));
        client.stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), round, 5000);
        QCOMPARE(client.state(), MqttClient::State::Stopped);
    }
}

void VenueClientTest::aRefusedSubscriptionIsSaidAtOnce()
{
    DynamicSecurityBroker broker;
    QString error;
    if (!broker.start(&error))
        QSKIP(qPrintable(error));
    QElapsedTimer clock;
    clock.start();
    int exitCode = -1;
    const QString output = runVenueTool({"status", "--config", broker.deskFile()}, &exitCode);
    QCOMPARE(exitCode, 1);
    QVERIFY2(output.contains("the broker refused the subscription to nerq/v1/stations/+/status: Not authorized"),
             qPrintable(output));
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString("%1 ms: %2").arg(clock.elapsed()).arg(output)));
}

void VenueClientTest::aRefusedCatalogueIsNotReportedPublished()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    // A clerk of the venue's may see the floor but not change the catalogue.
    int exitCode = -1;
    runTool("mosquitto_passwd", {"-b", broker.dir() + "/passwords", "clerk", "clerk-password"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY(appendFile(broker.dir() + "/acl", "\nuser clerk\ntopic read nerq/v1/stations/#\n"
                                              "topic readwrite nerq/v1/desk/#\ntopic read nerq/v1/catalogue\n"));
    const int reloads = broker.log().count("Reloading config.");
    ::kill(static_cast<pid_t>(broker.pid()), SIGHUP);
    // cppcheck-suppress knownConditionTrueFalse ; the broker's log grows while the test waits
    QTRY_VERIFY_WITH_TIMEOUT(broker.log().count("Reloading config.") > reloads, 5000);
    BrokerConfig clerk = broker.desk();
    clerk.user = "clerk";
    clerk.password = "clerk-password";
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("clerk.conf"), clerk.text()));
    const QByteArray games = R"([{"gameId": "orbit", "gameName": "Orbit", "imgPath": "", "isNative": true,)"
                             R"( "launcherPath": "./orbit.sh", "steamGameId": 0, "gameMode": 1}])";
    QVERIFY(writeFile(dir.filePath("desk/game/data_en.json"), games));
    QVERIFY(writeFile(dir.filePath("desk/game/data_cn.json"), games));

    const QString output = runVenueTool({"catalogue", "publish", "--config", dir.filePath("clerk.conf"),
                                         "--catalogue-dir", dir.filePath("desk"), "--wait", "0"},
                                        &exitCode);
    QVERIFY2(exitCode == 1 && output.contains("the broker refused nerq/v1/catalogue: Not authorized"),
             qPrintable(output));
    QVERIFY2(!output.contains("Published"), qPrintable(output));
    // The desk itself may.
    const QString desk =
        broker.runDesk({"catalogue", "publish", "--catalogue-dir", dir.filePath("desk"), "--wait", "0"}, &exitCode);
    QVERIFY2(exitCode == 0 && desk.contains("Published venue catalogue"), qPrintable(desk));
}

void VenueClientTest::statusesTheDeskCannotUseAreReported()
{
    VenueBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.report()));
    DeskSession session(broker.desk());
    QString error;
    QVERIFY2(session.open(5000, &error), qPrintable(error));
    const QList<DeskSession::Message> statuses{
        {VenueTopics::status("st01"), R"({"online": true, "station": "st01", "since": 1})", true},
        {VenueTopics::status("st02"), "not json", true},
        {VenueTopics::status("st03"), R"({"online": true, "station": "st01"})", true},
    };
    QVERIFY2(session.deliver(statuses, 5000, &error), qPrintable(error));
    session.close();

    int exitCode = -1;
    const QString output = broker.runDesk({"status"}, &exitCode);
    QCOMPARE(exitCode, 0);
    // st01's line: its session's part (none reported) comes before its being online.
    QVERIFY2(output.contains(QRegularExpression("^st01: [^\n]*online since", QRegularExpression::MultilineOption)),
             qPrintable(output));
    QVERIFY2(output.contains("warning: nerq/v1/stations/st02/status: not JSON"), qPrintable(output));
    QVERIFY2(output.contains("warning: nerq/v1/stations/st03/status: \"station\" is \"st01\", not the topic's"),
             qPrintable(output));
}

QTEST_GUILESS_MAIN(VenueClientTest)
#include "tst_venueclient.moc"
