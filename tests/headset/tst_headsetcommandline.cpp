// nerq-headset's command line and station.conf, before anything is drawn: help and version,
// usage errors, and a configuration it cannot use, each with its exit status and a clear line,
// all without a display.

#include "programrun.h"
#include "testpaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestHeadsetCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void statusAndMessage_data();
    void statusAndMessage();

private:
    QTemporaryDir m_dir;
};

void TestHeadsetCommandLine::statusAndMessage_data()
{
    QTest::addColumn<QByteArray>("config"); // written to station.conf; empty: none
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QByteArray broker = "[broker]\nhost=desk\nport=1883\nstation=st01\npassword=x\n";
    QTest::newRow("help") << QByteArray() << QStringList{"--help"} << 0 << "--config <FILE>";
    QTest::newRow("version") << QByteArray() << QStringList{"--version"} << 0 << "nerq-headset 1.";
    QTest::newRow("unknown option") << QByteArray() << QStringList{"--fast"} << 2 << "Try 'nerq-headset --help'.";
    QTest::newRow("an argument") << QByteArray() << QStringList{"st01"} << 2 << "unexpected argument \"st01\"";
    QTest::newRow("no file") << QByteArray() << QStringList{"--config", "@/absent.conf"} << 1
                             << "absent.conf: no such file";
    QTest::newRow("a user, not a station") << QByteArray("[broker]\nhost=desk\nport=1883\nuser=desk\npassword=x\n")
                                           << QStringList() << 1 << "names a user, not a station";
    QTest::newRow("a language it does not speak") << broker + "[session]\nlanguage=fr\n"
                                                  << QStringList() << 1 << "station.conf:7: language must be cn or en";
}

void TestHeadsetCommandLine::statusAndMessage()
{
    QFETCH(QByteArray, config);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString path = m_dir.filePath("station.conf");
    if (!config.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(config);
        arguments << "--config" << path;
    }
    arguments.replaceInStrings("@", m_dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    ProgramRun run(m_dir.path(), arguments, environment, TestPaths::tool("nerq-headset"));
    QVERIFY(run.waitForExit());
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), status);
    QVERIFY2(run.output().contains(message), qPrintable(run.output()));
}

QTEST_GUILESS_MAIN(TestHeadsetCommandLine)
#include "tst_headsetcommandline.moc"
