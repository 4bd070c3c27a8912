// The venue's broker as nerq-venue sets it up, checked against a real Mosquitto: who may sign
// in, who may read and write which topics, the secrets' modes, a second init, stations added and
// removed while the broker runs, TLS, and a broker root starts for a folder of an ordinary user.

#include "brokerclients.h"
#include "programrun.h"
#include "testpaths.h"
#include "venuebroker.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// nerq-venue init on the broker's folder with these options.
bool init(VenueBroker& broker, const QStringList& options, QString* output)
{
    int exitCode = 0;
    *output = broker.runVenue(QStringList{"init", broker.dir()} + options, &exitCode);
    return exitCode == 0;
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
        VenueBroker broker({true, QString(), false, QString()});
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QVERIFY2(!broker.addStation("st01").isEmpty(), qPrintable(broker.report()));
        QVERIFY2(!broker.addDesk("tab1").isEmpty(), qPrintable(broker.report()));
        for (const char* name : {"passwords", "acl", "console.conf", "stations/st01.conf", "desks/tab1.conf",
                                 "venue-ca.key", "broker.key"})
            QCOMPARE(statOf(broker.dir() + '/' + name).st_mode & 07777, mode_t(0600));
        // The broker only reads these; stations and the desk's devices get a copy of the CA.
        for (const char* name : {"mosquitto.conf", "venue-ca.crt", "stations/venue-ca.crt", "desks/venue-ca.crt"})
            QCOMPARE(statOf(broker.dir() + '/' + name).st_mode & 077, mode_t(044));
    }

    void initAgainKeepsTheCredentials()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const QString st01 = broker.addStation("st01");
        const QString tab1 = broker.addDesk("tab1");
        QVERIFY2(!st01.isEmpty() && !tab1.isEmpty(), qPrintable(broker.report()));
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
        QCOMPARE(stationConfig(tab1).port, 1);
        QCOMPARE(stationConfig(tab1).user, QString("tab1"));
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

    void desksDevicesComeAndGoAloneWhileTheBrokerRuns()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QVERIFY2(!broker.addStation("st01").isEmpty(), qPrintable(broker.report()));
        const QString tab1File = broker.addDesk("tab1");
        const BrokerConfig tab1 = stationConfig(tab1File);
        const BrokerConfig tab2 = stationConfig(broker.addDesk("tab2"));
        QVERIFY2(!tab1.password.isEmpty() && !tab2.password.isEmpty(), qPrintable(broker.report()));
        // In console.conf's form: a user of its own, the desk's address, the page's folder for the
        // pictures of a catalogue published from it.
        QVERIFY(!tab1.station && tab1.user == "tab1" && tab1.host == broker.desk().host);
        QVERIFY2(contents(tab1File).contains(("[desk]\npage=" + broker.dir() + "/page\n").toUtf8()),
                 contents(tab1File).constData());
        QVERIFY(tab1.password != tab2.password && tab1.password != broker.desk().password);

        // Each has the desk's rights.
        Subscriber desk(broker.desk(), {"nerq/v1/#"});
        Subscriber first(tab1, {"nerq/v1/#"});
        Subscriber second(tab2, {"nerq/v1/#"});
        QVERIFY2(desk.subscribed() && first.subscribed() && second.subscribed(), qPrintable(first.output()));
        QCOMPARE(publish(tab1, topic("st01", "commands"), "from tab1"), 0);
        QVERIFY2(second.waitFor(topic("st01", "commands") + " from tab1"), qPrintable(second.output()));

        // A lost tablet: shut out at once, and nobody else.
        QVERIFY2(broker.removeDesk("tab1"), qPrintable(broker.report()));
        QVERIFY2(first.ended(), qPrintable(first.output()));
        QVERIFY(!QFileInfo::exists(tab1File));
        Subscriber again(tab1, {"nerq/v1/#"});
        QVERIFY2(!again.subscribed() && again.output().contains("Not authorized"), qPrintable(again.output()));
        QCOMPARE(publish(tab2, "nerq/v1/catalogue", "still here"), 0);
        QVERIFY2(desk.waitFor("nerq/v1/catalogue still here"), qPrintable(desk.output()));
        QVERIFY2(second.waitFor("nerq/v1/catalogue still here"), qPrintable(second.output()));

        // A name is a station's or a device's, not both; the desk's own is neither.
        int exitCode = 0;
        QString output = broker.runVenue({"add-desk", broker.dir(), "st01"}, &exitCode);
        QVERIFY2(exitCode == 1 && output.contains("st01 is the name of station st01 already"), qPrintable(output));
        output = broker.runVenue({"add-station", broker.dir(), "tab2"}, &exitCode);
        QVERIFY2(exitCode == 1 && output.contains("is the name of desk device tab2 already"), qPrintable(output));
        output = broker.runVenue({"remove-desk", broker.dir(), "st01"}, &exitCode);
        QVERIFY2(exitCode == 1 && output.contains("has no desk device st01"), qPrintable(output));
        for (const char* name : {"Desk", "recorder", "tab3\n"}) {
            output = broker.runVenue({"add-desk", broker.dir(), name}, &exitCode);
            QVERIFY2(exitCode == 2, qPrintable(output));
        }
        QCOMPARE(publish(stationConfig(broker.dir() + "/stations/st01.conf"), topic("st01", "status"), "{}"), 0);
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
        VenueBroker broker({true, QString(), false, QString()});
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
        VenueBroker broker({false, "nobody", startAsOwner, QString()});
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
        for (const QString& id : QStringList{"desk", "Desk", "recorder", "../st01", "st 01", "st01\n",
                                             "st01\nuser desk", QString(65, 'a'), ""}) {
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
