// station.conf as the station's programs read it: the broker's section and the session's
// language, wrong values named with their file and line, sections of other readers left alone.

#include "brokerconfig.h"
#include "conffile.h"
#include "sessionlanguage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kBroker[] = "[broker]\nhost=desk-pc\nport=1883\nstation=st01\npassword=secret\n";

} // namespace

class TestStationConf : public QObject
{
    Q_OBJECT

private slots:
    void languageIsChineseUnlessEnglishIsAsked_data();
    void languageIsChineseUnlessEnglishIsAsked();
    void wrongLanguageIsNamedWithItsLine();
    void brokerSectionReadsBesideTheSession();
    void warningsAndGrace_data();
    void warningsAndGrace();
    void unreadableFilesAndLines_data();
    void unreadableFilesAndLines();

private:
    QString write(const QByteArray& text);

    QTemporaryDir m_dir;
};

QString TestStationConf::write(const QByteArray& text)
{
    const QString path = m_dir.path() + "/station.conf";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(text);
    return path;
}

void TestStationConf::languageIsChineseUnlessEnglishIsAsked_data()
{
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<bool>("english");
    QTest::newRow("no section") << QByteArray() << false;
    QTest::newRow("section without language") << QByteArray("[session]\nwarnings=300,60\ngrace=60\n") << false;
    QTest::newRow("cn") << QByteArray("[session]\nlanguage=cn\n") << false;
    QTest::newRow("en with blanks and comments") << QByteArray("[session]\n# customers\n  language = en \n") << true;
    QTest::newRow("language of another section") << QByteArray("[display]\nlanguage=en\n") << false;
}

void TestStationConf::languageIsChineseUnlessEnglishIsAsked()
{
    QFETCH(QByteArray, session);
    QFETCH(bool, english);
    ConfFile file;
    QString error;
    QVERIFY2(ConfFile::read(write(kBroker + session), &file, &error), qPrintable(error));
    ViewLanguage language = english ? ViewLanguage::Chinese : ViewLanguage::English;
    QVERIFY2(readSessionLanguage(file, &language, &error), qPrintable(error));
    QCOMPARE(language, english ? ViewLanguage::English : ViewLanguage::Chinese);
}

void TestStationConf::wrongLanguageIsNamedWithItsLine()
{
    const QString path = write(QByteArray(kBroker) + "\n[session]\nlanguage=EN\n");
    ConfFile file;
    QString error;
    QVERIFY(ConfFile::read(path, &file, &error));
    ViewLanguage language = ViewLanguage::English;
    QVERIFY(!readSessionLanguage(file, &language, &error));
    QCOMPARE(error, path + ":8: language must be cn or en, not \"EN\"");
    QCOMPARE(language, ViewLanguage::English);
}

void TestStationConf::brokerSectionReadsBesideTheSession()
{
    const QString path = write("[session]\nlanguage=en\nhost=not-this-one\n" + QByteArray(kBroker));
    BrokerConfig config;
    QString error;
    QVERIFY2(BrokerConfig::load(path, &config, &error), qPrintable(error));
    QCOMPARE(config.host, QString("desk-pc"));
    QCOMPARE(config.user, QString("st01"));
    QVERIFY(config.station);

    const QString badPort = write("# venue\n[broker]\nhost=desk-pc\nport=99999\nstation=st01\npassword=x\n");
    QVERIFY(!BrokerConfig::load(badPort, &config, &error));
    QCOMPARE(error, badPort + ":4: port must be a number from 1 to 65535, not \"99999\"");
}

void TestStationConf::warningsAndGrace_data()
{
    QTest::addColumn<QByteArray>("session");
    QTest::addColumn<QList<int>>("warnings"); // empty with a reason: refused
    QTest::addColumn<int>("grace");
    QTest::addColumn<QString>("reason");
    QTest::newRow("defaults") << QByteArray() << QList<int>{300, 60} << 60 << QString();
    QTest::newRow("own, in any order, repeats once")
        << QByteArray("[session]\nwarnings= 60, 600 ,300,60\ngrace=0\n") << QList<int>{600, 300, 60} << 0 << QString();
    QTest::newRow("no warnings at all") << QByteArray("[session]\nwarnings=\n") << QList<int>{} << 60 << QString();
    QTest::newRow("a warning of no time") << QByteArray("[session]\nwarnings=300,0\n") << QList<int>{} << 0
                                          << ":8: warnings must be seconds before the end";
    QTest::newRow("a warning in minutes")
        << QByteArray("[session]\nwarnings=5m\n") << QList<int>{} << 0 << ":8: warnings must be seconds";
    QTest::newRow("a warning past a day")
        << QByteArray("[session]\nwarnings=86401\n") << QList<int>{} << 0 << "from 1 to 86400";
    QTest::newRow("a negative grace") << QByteArray("[session]\ngrace=-1\n") << QList<int>{} << 0
                                      << ":8: grace must be seconds from 0 to 3600, not \"-1\"";
    QTest::newRow("a grace of two hours")
        << QByteArray("[session]\ngrace=7200\n") << QList<int>{} << 0 << "grace must be seconds from 0 to 3600";
    QTest::newRow("a grace as text") << QByteArray("[session]\ngrace=long\n") << QList<int>{} << 0 << "not \"long\"";
}

// What the agent reads at start: a wrong value stops it with the file and line.
void TestStationConf::warningsAndGrace()
{
    QFETCH(QByteArray, session);
    QFETCH(QList<int>, warnings);
    QFETCH(int, grace);
    QFETCH(QString, reason);
    ConfFile file;
    QString error;
    QVERIFY2(ConfFile::read(write(kBroker + QByteArray("\n") + session), &file, &error), qPrintable(error));
    SessionSettings settings;
    settings.graceSeconds = -5;
    const bool read = readSessionSettings(file, &settings, &error);
    QCOMPARE(read, reason.isEmpty());
    if (!read) {
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(settings.graceSeconds, -5); // untouched
        return;
    }
    QCOMPARE(settings.warnings, warnings);
    QCOMPARE(settings.graceSeconds, grace);
    QCOMPARE(settings.language, ViewLanguage::Chinese);
}

void TestStationConf::unreadableFilesAndLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a line that is no key=value") << QByteArray("[broker]\nhost desk-pc\n") << ":2: expected key=value";
    QTest::newRow("a value without a key") << QByteArray("[session]\n=en\n") << ":2: expected key=value";
    QTest::newRow("too large") << QByteArray(70 * 1024, '#') << ": not a configuration file";
}

void TestStationConf::unreadableFilesAndLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    ConfFile file;
    QString error;
    QVERIFY(!ConfFile::read(write(text), &file, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!ConfFile::read(m_dir.path() + "/absent.conf", &file, &error));
    QVERIFY(error.endsWith("absent.conf: no such file"));
}

QTEST_GUILESS_MAIN(TestStationConf)
#include "tst_stationconf.moc"
