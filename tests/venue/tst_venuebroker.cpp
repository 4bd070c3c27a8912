// The venue's broker as nerq-venue sets it up, checked against a real Mosquitto: who may sign
// in, who may read and write which topics, the secrets' modes, a second init, stations added and
// removed while the broker runs, TLS, and a broker root starts for a folder of an ordinary user.

#include "programrun.h"
#include "testpaths.h"
#include "venuebroker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QStringList clientArguments(const BrokerConfig& config)
{
    QStringList arguments{"-h", config.host, "-p", QString::number(config.port), "-V", "mqttv5"};
    if (!config.user.isEmpty())
        arguments << "-u" << config.user << "-P" << config.password;
    if (!config.caFile.isEmpty())
        arguments << "--cafile" << config.caFile;
    return arguments;
}

// QoS 1: when mosquitto_pub is back, the broker has dealt with the message. Its exit status.
int publish(const BrokerConfig& config, const QString& topic, const QString& payload, bool retain = false)
{
    int exitCode = 0;
    QStringList arguments = clientArguments(config) + QStringList{"-q", "1", "-t", topic, "-m", payload};
    if (retain)
        arguments << "-r";
    runTool("mosquitto_pub", arguments, &exitCode, 10000);
    return exitCode;
}

// mosquitto_sub for at most 30 s; what it received as "topic payload" lines.
class Subscriber
{
public:
    Subscriber(const BrokerConfig& config, const QStringList& topics)
    {
        QStringList arguments = clientArguments(config) + QStringList{"-d", "-v", "-q", "1", "-W", "30"};
        for (const QString& filter : topics)
            arguments << "-t" << filter;
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // Line-buffered, or the subscription's acknowledgement would only show at the end.
        m_process.start("stdbuf", QStringList{"-oL", "mosquitto_sub"} + arguments);
    }
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // False when the broker refused the connection.
    bool subscribed() { return waitFor("received SUBACK"); }
    bool waitFor(const QString& text, int msecs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output().contains(text) && timer.elapsed() < msecs && m_process.state() != QProcess::NotRunning)
            m_process.waitForReadyRead(50);
        return output().contains(text);
    }
    bool ended(int msecs = 5000)
    {
        return m_process.waitForFinished(msecs) || m_process.state() == QProcess::NotRunning;
    }
    QStringList messages()
    {
        QStringList lines = output().split('\n');
        lines.erase(
            std::remove_if(lines.begin(), lines.end(), [](const QString& line) { return !line.startsWith("nerq/"); }),
            lines.end());
        return lines;
    }
    QString output()
    {
        m_output += QString::fromUtf8(m_process.readAll());
        return m_output;
    }

private:
    QProcess m_process;
    QString m_output;
};

BrokerConfig stationConfig(const QString& path)
{
    BrokerConfig config;
    QString error;
    if (!BrokerConfig::load(path, &config, &error))
        qWarning("%s", qPrintable(error));
    return config;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct stat statOf(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

// nerq-venue init on the broker's folder with these options.
bool init(VenueBroker& broker, const QStringList& options, QString* output)
{
    int exitCode = 0;
    *output = broker.runVenue(QStringList{"init", broker.dir()} + options, &exitCode);
    return exitCode == 0;
}

QString topic(const QString& station, const QString& leaf)
{
    return QString("nerq/v1/stations/%1/%2").arg(station, leaf);
}

} // namespace

class TestVenueBroker : public QObject
{
    Q_OBJECT

private slots:
    void nobodyWithoutTheRightPasswordGetsIn()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const BrokerConfig station = stationConfig(broker.addStation("st01"));
        QVERIFY2(!station.password.isEmpty(), qPrintable(broker.report()));
        const BrokerConfig desk = broker.desk();
        QCOMPARE(publish(desk, "nerq/v1/catalogue", "{}"), 0);
        QCOMPARE(publish(station, topic("st01", "status"), "{}"), 0);

        BrokerConfig anonymous = desk;
        anonymous.user.clear();
        BrokerConfig wrong = desk;
        wrong.password += "x";
        BrokerConfig swapped = station; // the station's password under the desk's name
        swapped.user = "desk";
        for (const BrokerConfig& intruder : {anonymous, wrong, swapped}) {
            Subscriber watch(intruder, {"nerq/v1/#"});
            QVERIFY2(!watch.subscribed() && watch.ended(), qPrintable(intruder.user + ": " + watch.output()));
            QVERIFY2(watch.output().contains("Not authorized"), qPrintable(watch.output()));
        }
    }

    void aStationReachesOnlyItsOwnTopics()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const BrokerConfig st01 = stationConfig(broker.addStation("st01"));
        const BrokerConfig st02 = stationConfig(broker.addStation("st02"));
        const BrokerConfig desk = broker.desk();
        QCOMPARE(st01.user, QString("st01"));

        // What st01 writes, as the desk sees it: only its own status and results get through.
        Subscriber deskWatch(desk, {"nerq/v1/#"});
        QVERIFY2(deskWatch.subscribed(), qPrintable(deskWatch.output()));
        for (const QString& forbidden :
             {topic("st02", "commands"), topic("st02", "status"), topic("st02", "results"), topic("st01", "commands"),
              QString("nerq/v1/catalogue"), QString("nerq/v1/pictures/abc"), QString("nerq/v2/x")})
            publish(st01, forbidden, "forged");
        QCOMPARE(publish(st01, topic("st01", "status"), "own"), 0);
        QCOMPARE(publish(st01, topic("st01", "results"), "own"), 0);
        QVERIFY2(deskWatch.waitFor(topic("st01", "results") + " own"), qPrintable(deskWatch.output()));
        QCOMPARE(deskWatch.messages(),
                 QStringList({topic("st01", "status") + " own", topic("st01", "results") + " own"}));

        // What st01 reads: its own commands and the venue's catalogue, not another's commands,
        // even through a wildcard.
        Subscriber st01Watch(st01, {"nerq/v1/#", topic("st02", "commands")});
        Subscriber st02Watch(st02, {topic("st02", "commands")});
        QVERIFY2(st01Watch.subscribed() && st02Watch.subscribed(), qPrintable(st01Watch.output()));
        QCOMPARE(publish(desk, topic("st02", "commands"), "theirs"), 0);
        QCOMPARE(publish(desk, topic("st02", "status"), "theirs"), 0);
        QCOMPARE(publish(desk, "nerq/v1/catalogue", "venue", true), 0);
        QCOMPARE(publish(desk, "nerq/v1/pictures/abc", "picture", true), 0);
        QCOMPARE(publish(desk, topic("st01", "commands"), "mine"), 0);
        QVERIFY2(st01Watch.waitFor(topic("st01", "commands") + " mine"), qPrintable(st01Watch.output()));
        QCOMPARE(st01Watch.messages(), QStringList({"nerq/v1/catalogue venue", "nerq/v1/pictures/abc picture",
                                                    topic("st01", "commands") + " mine"}));
        QVERIFY2(st02Watch.waitFor(topic("st02", "commands") + " theirs"), qPrintable(st02Watch.output()));
    }

    void theSecretsAreTheirOwnersAlone()
    {
        VenueBroker broker({true, QString(), false});
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QVERIFY2(!broker.addStation("st01").isEmpty(), qPrintable(broker.report()));
        for (const char* name :
             {"passwords", "acl", "console.conf", "stations/st01.conf", "venue-ca.key", "broker.key"})
            QCOMPARE(statOf(broker.dir() + '/' + name).st_mode & 07777, mode_t(0600));
        // The broker only reads these; stations get a copy of the CA.
        for (const char* name : {"mosquitto.conf", "venue-ca.crt", "stations/venue-ca.crt"})
            QCOMPARE(statOf(broker.dir() + '/' + name).st_mode & 077, mode_t(044));
    }

    void initAgainKeepsTheCredentials()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const QString st01 = broker.addStation("st01");
        QVERIFY2(!st01.isEmpty(), qPrintable(broker.report()));
        const QString dir = broker.dir();
        const QStringList kept{"passwords", "acl", "console.conf", "stations/st01.conf", "mosquitto.conf"};
        QMap<QString, QByteArray> before;
        for (const QString& name : kept)
            before[name] = contents(dir + '/' + name);

        // The same options: nothing changes, and the running broker goes on with its clients.
        const QStringList options{"--host",    broker.host(),
                                  "--port",    QString::number(broker.port()),
                                  "--ws-port", QString::number(broker.wsPort())};
        QString output;
        QVERIFY2(init(broker, options, &output), qPrintable(output));
        for (const QString& name : kept)
            QVERIFY2(contents(dir + '/' + name) == before[name], qPrintable(name + " changed:\n" + output));
        QCOMPARE(publish(stationConfig(st01), topic("st01", "status"), "{}"), 0);

        // Another port: the files that name it follow, with their passwords.
        const QString stationPassword = stationConfig(st01).password;
        const QString deskPassword = broker.desk().password;
        QVERIFY2(init(broker, {"--host", broker.host(), "--port", "1", "--ws-port", "2"}, &output), qPrintable(output));
        QCOMPARE(stationConfig(st01).port, 1);
        QCOMPARE(stationConfig(st01).password, stationPassword);
        QCOMPARE(broker.desk().port, 1);
        QCOMPARE(broker.desk().password, deskPassword);
        QCOMPARE(contents(dir + "/passwords"), before["passwords"]);
        QCOMPARE(contents(dir + "/mosquitto.conf.bak"), before["mosquitto.conf"]);

        // Lost: console.conf. The desk gets a new password; the station keeps its own.
        QVERIFY2(init(broker, options, &output), qPrintable(output));
        QFile::remove(dir + "/console.conf");
        QVERIFY2(init(broker, options, &output) && output.contains("reads the password and ACL files again now"),
                 qPrintable(output));
        QVERIFY(broker.desk().password != deskPassword);
        QCOMPARE(contents(st01), before["stations/st01.conf"]);
        QTRY_COMPARE_WITH_TIMEOUT(publish(broker.desk(), "nerq/v1/catalogue", "{}"), 0, 5000);
    }

    void stationsComeAndGoWhileTheBrokerRuns()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const qint64 pid = broker.pid();
        const BrokerConfig st01 = stationConfig(broker.addStation("st01"));
        QVERIFY2(!st01.password.isEmpty(), qPrintable(broker.report()));
        Subscriber commands(st01, {topic("st01", "commands")});
        QVERIFY2(commands.subscribed(), qPrintable(commands.output()));

        // Added while the broker runs: it may sign in at once.
        const BrokerConfig st02 = stationConfig(broker.addStation("st02"));
        QVERIFY2(!st02.password.isEmpty(), qPrintable(broker.report()));
        QCOMPARE(publish(st02, topic("st02", "status"), "{}"), 0);
        QCOMPARE(broker.pid(), pid);

        // Removed: its connection ends, and it cannot come back.
        QVERIFY2(broker.removeStation("st01"), qPrintable(broker.report()));
        QVERIFY2(commands.ended(), qPrintable(commands.output()));
        Subscriber again(st01, {topic("st01", "commands")});
        QVERIFY2(!again.subscribed() && again.output().contains("Not authorized"), qPrintable(again.output()));
        QVERIFY(!QFileInfo::exists(broker.dir() + "/stations/st01.conf"));
        QCOMPARE(publish(st02, topic("st02", "status"), "{}"), 0);

        // Added again: a new password, and access again.
        const BrokerConfig back = stationConfig(broker.addStation("st01"));
        QVERIFY(back.password != st01.password);
        QCOMPARE(publish(back, topic("st01", "status"), "{}"), 0);
    }

    void aBrokerThatDiedIsNotConfusedWithAnotherProcess()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        broker.kill();
        // The dead broker's pid file now names a process that SIGHUP would end.
        QProcess bystander;
        bystander.start("sleep", {"30"});
        QVERIFY(bystander.waitForStarted());
        QFile pidFile(broker.dir() + "/mosquitto.pid");
        QVERIFY(pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        pidFile.write(QByteArray::number(bystander.processId()) + '\n');
        pidFile.close();
        int exitCode = 0;
        const QString output = broker.runVenue({"add-station", broker.dir(), "st01"}, &exitCode);
        QVERIFY2(exitCode == 0 && output.contains("not running"), qPrintable(output));
        QVERIFY2(!bystander.waitForFinished(300), "add-station signalled a process that is no broker");
        bystander.kill();
        bystander.waitForFinished();

        // Started again, the broker knows the station added while it was down.
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QCOMPARE(publish(stationConfig(broker.dir() + "/stations/st01.conf"), topic("st01", "status"), "{}"), 0);
    }

    void twoOperatorsAddingAtOnceLoseNoStation()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        std::vector<std::unique_ptr<QProcess>> adds;
        for (int i = 0; i < 8; ++i) {
            adds.push_back(std::make_unique<QProcess>());
            adds.back()->start(TestPaths::tool("nerq-venue"), {"add-station", broker.dir(), QString("st%1").arg(i)});
        }
        for (auto& add : adds) {
            QVERIFY(add->waitForFinished(30000));
            QCOMPARE(add->exitCode(), 0);
        }
        QTest::qWait(200); // the last reload
        for (int i = 0; i < 8; ++i) {
            const QString id = QString("st%1").arg(i);
            QTRY_COMPARE_WITH_TIMEOUT(
                publish(stationConfig(broker.dir() + "/stations/" + id + ".conf"), topic(id, "status"), "{}"), 0, 3000);
        }
    }

    void overTlsOnlyTheVenuesCaIsTrusted()
    {
        VenueBroker broker({true, QString(), false});
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const QString file = broker.addStation("st01");
        QVERIFY2(!file.isEmpty(), qPrintable(broker.report()));
        QVERIFY(contents(file).contains("\ncafile=venue-ca.crt\n"));
        const BrokerConfig station = stationConfig(file);
        QCOMPARE(station.caFile, broker.dir() + "/stations/venue-ca.crt");

        Subscriber desk(broker.desk(), {"nerq/v1/#"});
        QVERIFY2(desk.subscribed(), qPrintable(desk.output()));
        BrokerConfig plain = station;
        plain.caFile.clear();
        QVERIFY(publish(plain, topic("st01", "status"), "plain") != 0);
        int exitCode = 0;
        runTool("mosquitto_pub",
                clientArguments(plain)
                    + QStringList{"--capath", "/etc/ssl/certs", "-q", "1", "-t", topic("st01", "status"), "-m",
                                  "public CA"},
                &exitCode, 10000);
        QVERIFY(exitCode != 0);
        QCOMPARE(publish(station, topic("st01", "status"), "tls"), 0);
        QVERIFY2(desk.waitFor(topic("st01", "status") + " tls"), qPrintable(desk.output()));
        QCOMPARE(desk.messages(), QStringList{topic("st01", "status") + " tls"});
    }

    void aRootStartRunsAsTheFoldersOwner_data()
    {
        QTest::addColumn<bool>("startAsOwner");
        QTest::newRow("root starts it") << false;
        QTest::newRow("the owner starts it") << true;
    }

    void aRootStartRunsAsTheFoldersOwner()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to start a broker for another user's folder");
        QFETCH(bool, startAsOwner);
        VenueBroker broker({false, "nobody", startAsOwner});
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QCOMPARE(statOf(broker.dir() + "/passwords").st_uid, statOf(broker.dir()).st_uid);
        QFile status(QString("/proc/%1/status").arg(broker.pid()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QString uid = QString::number(statOf(broker.dir()).st_uid);
        QVERIFY2(QString::fromLatin1(status.readAll()).contains(QRegularExpression("\nUid:\\s+" + uid + "\\s")),
                 "the broker does not run as the folder's owner");
        // It read the password and ACL files, and reads them again when a station is added.
        const BrokerConfig station = stationConfig(broker.addStation("st01"));
        QVERIFY2(!station.password.isEmpty(), qPrintable(broker.report()));
        QCOMPARE(statOf(broker.dir() + "/stations/st01.conf").st_uid, statOf(broker.dir()).st_uid);
        QCOMPARE(publish(broker.desk(), "nerq/v1/catalogue", "{}"), 0);
        QCOMPARE(publish(station, topic("st01", "status"), "{}"), 0);
        // Its state survives a restart.
        QCOMPARE(publish(broker.desk(), "nerq/v1/catalogue", "kept", true), 0);
        broker.stop();
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        Subscriber catalogue(station, {"nerq/v1/catalogue"});
        QVERIFY2(catalogue.waitFor("nerq/v1/catalogue kept"), qPrintable(catalogue.output() + broker.report()));
    }

    void refusesWhatTheBrokerCannotTake()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const QByteArray passwords = contents(broker.dir() + "/passwords");
        int exitCode = 0;
        for (const QString& id :
             QStringList{"desk", "Desk", "../st01", "st 01", "st01\nuser desk", QString(65, 'a'), ""}) {
            const QString output = broker.runVenue({"add-station", broker.dir(), id}, &exitCode);
            QVERIFY2(exitCode == 2, qPrintable(id + ": " + output));
        }
        QCOMPARE(contents(broker.dir() + "/passwords"), passwords);
        QVERIFY(!QFileInfo::exists(broker.dir() + "/stations"));

        QTemporaryDir temp;
        for (const QString& name : {QString("tab\there"), QString("line\nbreak")}) {
            const QString output = broker.runVenue({"init", temp.filePath(name)}, &exitCode);
            QVERIFY2(exitCode == 2 && output.contains("control character"), qPrintable(output));
            QVERIFY(!QFileInfo::exists(temp.filePath(name)));
        }
        const QString output = broker.runVenue({"add-station", temp.path(), "st01"}, &exitCode);
        QVERIFY2(exitCode == 1 && output.contains("run 'nerq-venue init"), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestVenueBroker)
#include "tst_venuebroker.moc"
