// The broker's page folder and what it needs, against a real Mosquitto: the page and its
// websockets over TLS once init --tls is run on a venue made without it, and a broker whose user
// cannot read what the configuration names (a build under root's home, a folder out of reach).

#include "brokerclients.h"
#include "testpaths.h"
#include "venuebroker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

class TestVenuePage : public QObject
{
    Q_OBJECT

private slots:
    void tlsTurnedOnLaterKeepsEveryCredential()
    {
        VenueBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        const QString file = broker.addStation("st01");
        const BrokerConfig plain = stationConfig(file);
        const BrokerConfig desk = broker.desk();
        const QByteArray passwords = contents(broker.dir() + "/passwords");
        QVERIFY(httpsGet(broker.wsPort(), QString(), "/").startsWith("TLS failed"));
        broker.stop();

        QString output;
        QVERIFY2(broker.initAgain({"--tls"}, &output), qPrintable(output));
        QVERIFY2(output.contains(QString("The desk's page: https://127.0.0.1:%1/").arg(broker.wsPort())),
                 qPrintable(output));
        QCOMPARE(contents(broker.dir() + "/passwords"), passwords);
        const BrokerConfig station = stationConfig(file);
        QCOMPARE(station.password, plain.password);
        QCOMPARE(station.caFile, broker.dir() + "/stations/venue-ca.crt");
        QCOMPARE(broker.desk().password, desk.password);
        QCOMPARE(broker.desk().caFile, broker.dir() + "/venue-ca.crt");

        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QCOMPARE(publish(station, topic("st01", "status"), "over TLS"), 0);
        QVERIFY(publish(plain, topic("st01", "status"), "in the clear") != 0);
        // The page and its websockets: TLS with the venue's certificate, the page as before.
        const QString ca = broker.dir() + "/venue-ca.crt";
        const QString page = httpsGet(broker.wsPort(), ca, "/");
        QVERIFY2(page.startsWith("HTTP/1.0 200") && page.contains("<!DOCTYPE html>"), qPrintable(page));
        QVERIFY(httpsGet(broker.wsPort(), ca, "/venue-ca.crt").contains(contents(ca)));
        const QString untrusted = httpsGet(broker.wsPort(), QString(), "/");
        QVERIFY2(untrusted.startsWith("TLS failed"), qPrintable(untrusted));
    }

    // A build under root's home: nerq-venue and the page it copies lie where only root may enter.
    void aPageOnlyRootMayReachIsServedAllTheSame()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to start a broker for another user's folder");
        QTemporaryDir home; // 0700, root's
        QVERIFY(QDir().mkpath(home.filePath("bin/console")));
        QVERIFY(QFile::copy(TestPaths::tool("nerq-venue"), home.filePath("bin/nerq-venue")));
        const QDir page(QFileInfo(TestPaths::tool("nerq-venue")).absolutePath() + "/console");
        for (const QString& name : page.entryList(QDir::Files))
            QVERIFY(QFile::copy(page.filePath(name), home.filePath("bin/console/" + name)));
        VenueBroker::Options options{false, "nobody", false, home.filePath("bin/nerq-venue")};
        VenueBroker broker(options);
        QVERIFY2(broker.start(), qPrintable(broker.report()));
        QCOMPARE(statOf(broker.dir() + "/page/index.html").st_uid, statOf(broker.dir()).st_uid);
        const QString reply = httpGet(broker.wsPort(), "/");
        QVERIFY2(reply.startsWith("HTTP/1.0 200") && reply.contains("<!DOCTYPE html>"), qPrintable(reply.left(200)));
    }

    void whatTheBrokersUserCannotReadIsSaidPlainly()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to give a folder to another user");
        // The venue's folder, nobody's, inside one only root may enter.
        QTemporaryDir home;
        const QString dir = home.filePath("venue");
        QVERIFY(QDir().mkdir(dir));
        const struct passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody && ::chown(QFile::encodeName(dir).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        VenueBroker broker;
        int exitCode = 0;
        const QString output = broker.runVenue({"init", dir, "--host", "127.0.0.1"}, &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("the broker runs as nobody") && output.contains(dir + "/passwords: Permission denied")
                     && output.contains("chown -R nobody"),
                 qPrintable(output));
        QVERIFY(!QFileInfo::exists(dir + "/mosquitto.conf"));

        // A running broker is not told to read a password file its user cannot read: it would drop
        // every client.
        VenueBroker running({false, "nobody", false, QString()});
        QVERIFY2(running.start(), qPrintable(running.report()));
        const BrokerConfig st01 = stationConfig(running.addStation("st01"));
        const QString passwords = running.dir() + "/passwords";
        QVERIFY(::chown(QFile::encodeName(passwords).constData(), 0, 0) == 0);
        const QString refused = running.runVenue({"add-station", running.dir(), "st02"}, &exitCode);
        QVERIFY2(exitCode == 1 && refused.contains("nobody, who cannot read " + passwords), qPrintable(refused));
        QCOMPARE(publish(st01, topic("st01", "status"), "{}"), 0);
        QVERIFY(running.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestVenuePage)
#include "tst_venuepage.moc"
