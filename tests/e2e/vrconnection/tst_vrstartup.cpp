// The real executable starting in VR mode against the simulated runtime, seen from outside:
// the boxes on the screen and how they are closed, the exit codes, the call trace, the log.

#include "programrun.h"
#include "testpaths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kHmd = QStringLiteral("Could not find HMD!");
const QString kOutdated = QStringLiteral("OpenVR version is too outdated. Please update OpenVR.");
const QString kNotRunning = QStringLiteral("Is OpenVR running?");
const QString kSecond = QStringLiteral("Another instance is already running.");

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool waitForLine(const QString& path, const QString& prefix, int msecs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msecs) {
        for (const QString& line : readLines(path))
            if (line.startsWith(prefix))
                return true;
        QTest::qWait(50);
    }
    return false;
}

// Mean absolute difference of two same-sized images, 0..255.
double difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 255.0;
    const QImage x = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage y = b.convertToFormat(QImage::Format_Grayscale8);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int col = 0; col < x.width(); ++col)
            sum += qAbs(int(p[col]) - int(q[col]));
    }
    return double(sum) / (double(x.width()) * x.height());
}

QRect windowGeometry(const QString& window)
{
    const QString shell = runTool("xdotool", {"getwindowgeometry", "--shell", window});
    QMap<QString, int> values;
    for (const QString& line : shell.split('\n', Qt::SkipEmptyParts))
        values.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
}

} // namespace

class VRStartupTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QMap<QString, QImage> m_references; // box text -> how that box looks
    int m_traces = 0;

    QString newTracePath() { return m_tmp->filePath(QString("trace-%1.txt").arg(++m_traces)); }

    QProcessEnvironment environment(const QString& tracePath, const QStringList& extra = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_tmp->path());
        env.insert("VRSIM_STATE_DIR", m_tmp->filePath("state"));
        env.insert("VRSIM_TRACE", tracePath);
        env.insert("VRSIM_CAPTURE", "none");
        for (const QString& entry : extra)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        return env;
    }

    // The box the program shows, as this test's own Qt draws it with the same text.
    QImage renderReference(const QString& text)
    {
        QMessageBox box(QMessageBox::Critical, "NerqVRPlatform", text, QMessageBox::Ok, nullptr);
        box.show();
        if (!QTest::qWaitForWindowExposed(&box))
            return QImage();
        QTest::qWait(50);
        const QImage image = box.grab().toImage();
        box.hide();
        return image;
    }

    // Asserts that the program shows exactly one box with `text`, then closes it with `key`.
    void seeAndDismissBox(ProgramRun& program, const QString& text, const QString& key, const QString& shotName)
    {
        const QString window = program.waitForWindow();
        QVERIFY2(!window.isEmpty(), qPrintable(program.output()));
        QCOMPARE(runTool("xdotool", {"getwindowname", window}).trimmed(), QString("NerqVRPlatform"));
        QTest::qWait(300); // painted
        const QStringList windows =
            runTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(program.pid())})
                .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(windows.size(), 1);

        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QString shotDir = qEnvironmentVariable("NERQ_SCREENSHOT_DIR");
        if (!shotDir.isEmpty())
            screen.save(QDir(shotDir).filePath(shotName + ".png"));
        const QImage seen = screen.copy(windowGeometry(window));
        QString nearest;
        double best = 256.0;
        for (auto it = m_references.cbegin(); it != m_references.cend(); ++it) {
            const double d = difference(seen, it.value());
            if (d < best) {
                best = d;
                nearest = it.key();
            }
        }
        QVERIFY2(
            nearest == text && best < 8.0,
            qPrintable(
                QString("box looks like \"%1\" (difference %2), expected \"%3\"").arg(nearest).arg(best).arg(text)));

        // The exception comes only after the box is closed.
        QVERIFY(program.isRunning());
        runTool("xdotool", {"windowfocus", "--sync", window});
        runTool("xdotool", {"key", key});
    }

private slots:
    void initTestCase()
    {
        for (const QString& text : {kHmd, kOutdated, kNotRunning, kSecond}) {
            m_references.insert(text, renderReference(text));
            QVERIFY(!m_references.value(text).isNull());
        }
    }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
    }

    void failedStart_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("cause");

        const QString noConnection = "Failed to initialize OpenVR: ";
        const QString outdated = "OpenVR version is too outdated: Interface version %1 not found.";
        QTest::newRow("no headset") << QStringList{"VRSIM_INIT_ERROR=108"} << kHmd << "Return" << noConnection;
        QTest::newRow("presence failed") << QStringList{"VRSIM_INIT_ERROR=126"} << kHmd << "space" << noConnection;
        QTest::newRow("notifications missing") << QStringList{"VRSIM_MISSING_INTERFACES=IVRNotifications_002"}
                                               << kOutdated << "Escape" << outdated.arg("IVRNotifications_002");
        QTest::newRow("several missing")
            << QStringList{"VRSIM_MISSING_INTERFACES=IVRCompositor_020,IVRSettings_002,IVRNotifications_002"}
            << kOutdated << "Return" << outdated.arg("IVRSettings_002");
        QTest::newRow("no overlay interface") << QStringList{"VRSIM_NO_OVERLAY_INTERFACE=1"} << kNotRunning << "Return"
                                              << "No Overlay interface";
        QTest::newRow("system interface missing")
            << QStringList{"VRSIM_MISSING_INTERFACES=IVRSystem_015"} << QString() << QString() << noConnection;
        QTest::newRow("no runtime installed")
            << QStringList{"VRSIM_INIT_ERROR=100"} << QString() << QString() << noConnection;
    }

    // The one ERROR line that start-up leaves when it fails: the exception's text.
    static void causeIsLogged(ProgramRun& program, const QString& cause)
    {
        const QStringList errors = program.output().split('\n').filter("ERROR [");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains("Start-up failed: " + cause), qPrintable(errors[0]));
    }

    void failedStart()
    {
        QFETCH(QStringList, env);
        QFETCH(QString, boxText);
        QFETCH(QString, key);
        QFETCH(QString, cause);
        const QString trace = newTracePath();
        ProgramRun program(TestPaths::runtimeDir(), {}, environment(trace, env));

        if (!boxText.isEmpty())
            seeAndDismissBox(program, boxText, key, QTest::currentDataTag());
        // Without a box nothing waits for the user: the program ends by itself.
        QVERIFY2(program.waitForExit(15000), qPrintable(program.output()));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 255,
                 qPrintable(QString("exit code %1\n").arg(program.exitCode()) + program.output()));
        causeIsLogged(program, cause);
        QCOMPARE(readLines(trace).filter("CreateDashboardOverlay"), QStringList());
    }

    // Every setting of the overlay reaches the runtime with its exact value, then frames follow.
    void overlaySettingsInTheTrace()
    {
        const QString trace = newTracePath();
        ProgramRun program(TestPaths::runtimeDir(), {}, environment(trace));
        QVERIFY2(waitForLine(trace, "SetOverlayTexture "), qPrintable(program.output()));
        QVERIFY(program.isRunning());

        const QStringList lines = readLines(trace);
        QStringList versions;
        for (const QString& line : lines.filter(QRegularExpression("^VR_IsInterfaceVersionValid ")))
            versions.append(line.section('"', 1, 1));
        QCOMPARE(versions, QStringList({"IVRSystem_015", "IVRSystem_015", "IVRSettings_002", "IVROverlay_016",
                                        "IVRApplications_006", "IVRChaperone_003", "IVRChaperoneSetup_005",
                                        "IVRCompositor_020", "IVRNotifications_002"}));
        QCOMPARE(lines.filter(QRegularExpression("^VR_Init ")), QStringList{"VR_Init type=2 -> 0 VRInitError_None"});

        const QString created = lines.filter(QRegularExpression("^CreateDashboardOverlay ")).value(0);
        const QRegularExpressionMatch match =
            QRegularExpression("^CreateDashboardOverlay key=\"nerqvr\\.vrplatform\" name=\"NERQ I/O\" -> 0 "
                               "main=(\\d+) thumb=(\\d+)$")
                .match(created);
        QVERIFY2(match.hasMatch(), qPrintable(created));
        const QString main = match.captured(1);
        const QString thumb = match.captured(2);
        const QString thumbnail = QFileInfo(TestPaths::runtimeDir()).canonicalFilePath() + "/res/thumbicon.png";

        const QStringList settings = lines.filter(QRegularExpression("^SetOverlay(WidthInMeters|InputMethod|Flag|"
                                                                     "FromFile|MouseScale) "));
        QCOMPARE(settings, QStringList({
                               "SetOverlayWidthInMeters handle=" + main + " width=3 -> 0",
                               "SetOverlayInputMethod handle=" + main + " method=1 -> 0",
                               "SetOverlayFlag handle=" + main + " flag=6 enabled=1 -> 0",
                               "SetOverlayFromFile handle=" + thumb + " path=\"" + thumbnail + "\" -> 0",
                               "SetOverlayMouseScale handle=" + main + " x=1920 y=1080 -> 0",
                           }));
        const QString frame = lines.filter(QRegularExpression("^SetOverlayTexture ")).value(0);
        QVERIFY2(
            QRegularExpression("^SetOverlayTexture handle=" + main + " texture=[1-9]\\d* type=1 colorspace=0 -> 0$")
                .match(frame)
                .hasMatch(),
            qPrintable(frame));
        QVERIFY2(!program.output().contains("ERROR ["), qPrintable(program.output()));
    }

    // The first instance holds the overlay key; the second is told and ends, the first goes on.
    void secondInstance()
    {
        const QString firstTrace = newTracePath();
        ProgramRun first(TestPaths::runtimeDir(), {}, environment(firstTrace));
        QVERIFY2(waitForLine(firstTrace, "SetOverlayMouseScale "), qPrintable(first.output()));

        const QString secondTrace = newTracePath();
        ProgramRun second(TestPaths::runtimeDir(), {}, environment(secondTrace));
        seeAndDismissBox(second, kSecond, "Return", "second-instance");
        QVERIFY2(second.waitForExit(15000), qPrintable(second.output()));
        QCOMPARE(second.exitCode(), 255);
        causeIsLogged(second, "Failed to create Overlay: VROverlayError_KeyInUse");
        QVERIFY2(
            readLines(secondTrace).contains("CreateDashboardOverlay key=\"nerqvr.vrplatform\" name=\"NERQ I/O\" -> 17"),
            qPrintable(readLines(secondTrace).join('\n')));
        QCOMPARE(readLines(secondTrace).filter(QRegularExpression("^SetOverlay")), QStringList());

        QTest::qWait(500);
        QVERIFY2(first.isRunning(), qPrintable(first.output()));
        QCOMPARE(readLines(firstTrace).filter(QRegularExpression("^(VR_Shutdown|CreateDashboardOverlay .* -> 17)")),
                 QStringList());
    }

    // A program directory without the thumbnail: one ERROR line naming the path looked at, and
    // the overlay is opened and fed all the same.
    void missingThumbnail()
    {
        RuntimeCopy copy;
        const QString exe = copy.filePath("NerqVRPlatform");
        QVERIFY(QFile::copy(TestPaths::executable(), exe));
        copy.remove("res");
        QDir(copy.path()).mkdir("res");
        const QDir shippedRes(QDir(TestPaths::runtimeDir()).filePath("res"));
        for (const QString& entry : shippedRes.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (entry != "thumbicon.png")
                QVERIFY(QFile::link(shippedRes.filePath(entry), copy.filePath("res/" + entry)));

        const QString trace = newTracePath();
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.setWorkingDirectory(copy.path());
        program.setProcessEnvironment(environment(trace));
        program.start(exe, QStringList());
        const bool fed = waitForLine(trace, "SetOverlayTexture ");
        const QString output = QString::fromUtf8(program.readAll());
        program.kill();
        program.waitForFinished(5000);
        QVERIFY2(fed, qPrintable(output));

        const QString expected =
            "Could not find thumbnail icon \"" + QFileInfo(copy.path()).canonicalFilePath() + "/res/thumbicon.png\"";
        const QStringList errors = output.split('\n').filter("ERROR [");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains("vroverlay") && errors[0].endsWith(expected), qPrintable(errors[0]));
        QCOMPARE(readLines(trace).filter(QRegularExpression("^SetOverlayFromFile ")), QStringList());
        QCOMPARE(readLines(trace).filter(QRegularExpression("^SetOverlayMouseScale .* -> 0$")).size(), 1);
    }
};

QTEST_MAIN(VRStartupTest)
#include "tst_vrstartup.moc"
