// The option pass of the command line, for the options that do not end the process.

#include "commandline.h"
#include "runsettings.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QtTest>

#include <vector>

namespace {

// parseCommandLine wants writable C strings, as main gets them.
void parse(const QStringList& args)
{
    QList<QByteArray> storage;
    storage.append(QByteArrayLiteral("NerqVRPlatform"));
    for (const QString& arg : args)
        storage.append(arg.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    parseCommandLine(static_cast<int>(storage.size()), argv.data());
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        desktop = false;
        language = Chinese;
    }

    void settings_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("expectDesktop");
        QTest::addColumn<int>("expectLanguage");

        QTest::newRow("none") << QStringList() << false << int(Chinese);
        QTest::newRow("desktop") << QStringList{"-desktop"} << true << int(Chinese);
        QTest::newRow("english") << QStringList{"-english"} << false << int(English);
        QTest::newRow("english then chinese") << QStringList{"-english", "-chinese"} << false << int(Chinese);
        QTest::newRow("chinese then english") << QStringList{"-chinese", "-english"} << false << int(English);
        QTest::newRow("desktop stays set")
            << QStringList{"-desktop", "-english", "-desktop", "-chinese"} << true << int(Chinese);
        QTest::newRow("inert options") << QStringList{"-nosound", "-nomanifest", "-english"} << false << int(English);
        // Qt's own options and their values pass through untouched.
        QTest::newRow("qt options") << QStringList{"-platform", "offscreen", "-english", "-style", "fusion"} << false
                                    << int(English);
    }

    void settings()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, expectDesktop);
        QFETCH(int, expectLanguage);
        parse(args);
        QCOMPARE(desktop, expectDesktop);
        QCOMPARE(int(language), expectLanguage);
    }

    // Only the exact words count: anything near them is ignored without effect.
    void nearMissesAreIgnored_data()
    {
        QTest::addColumn<QString>("arg");
        QTest::newRow("capital") << "-English";
        QTest::newRow("double dash") << "--english";
        QTest::newRow("no dash") << "english";
        QTest::newRow("trailing blank") << "-english ";
        QTest::newRow("leading blank") << " -english";
        QTest::newRow("prefix") << "-eng";
        QTest::newRow("attached value") << "-english=1";
        QTest::newRow("desktop capital") << "-Desktop";
        QTest::newRow("desktop double dash") << "--desktop";
        QTest::newRow("desktop trailing blank") << "-desktop ";
        QTest::newRow("empty") << "";
    }

    void nearMissesAreIgnored()
    {
        QFETCH(QString, arg);
        parse({arg});
        QCOMPARE(desktop, false);
        QCOMPARE(language, Chinese);

        // The pass goes on after a skipped argument.
        init();
        parse({arg, "-english", arg});
        QCOMPARE(language, English);
        QCOMPARE(desktop, false);
    }

    void programNameIsNotAnOption()
    {
        QByteArray name("-desktop");
        QByteArray lang("-english");
        char* argv[] = {name.data(), nullptr};
        parseCommandLine(1, argv);
        QCOMPARE(desktop, false);

        char* argv2[] = {lang.data(), nullptr};
        parseCommandLine(1, argv2);
        QCOMPARE(language, Chinese);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
