// The real executable in its default VR mode against the simulated runtime: what the headset
// is shown, what a laser pointer starts, what reaches the device service, and how it ends.

#include "programrun.h"
#include "testpaths.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QString peer()
{
    return TestPaths::tool("nerq-peer");
}

bool near(QColor actual, QColor expected, int tolerance = 6)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
           && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

// Share of pixels in the area that differ noticeably between two frames.
double changedShare(const QImage& a, const QImage& b, const QRect& area)
{
    int changed = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2)
        for (int x = area.left(); x <= area.right(); x += 2)
            if (!near(a.pixelColor(x, y), b.pixelColor(x, y), 12))
                ++changed;
    return double(changed) / ((area.width() / 2) * (area.height() / 2));
}

// Page areas, in page pixels (the frame is the page at 1920 x 1080).
const QRect firstTilePicture(123, 190, 400, 188);
const QRect secondTilePicture(548, 190, 400, 188);
const QRect panelArea(551, 440, 818, 309);
const QPoint calibrationButton(960, 978);

// One run of the program against a private simulated runtime: its own state directory, event
// script, frame capture and call trace.
class VrSession
{
public:
    explicit VrSession(const QString& workingDir = TestPaths::runtimeDir(),
                       const QProcessEnvironment& extra = QProcessEnvironment(), const QStringList& unset = {})
    {
        QVERIFY(m_dir.isValid());
        QFile script(eventsPath());
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VRSIM_STATE_DIR", m_dir.filePath("state"));
        env.insert("VRSIM_CAPTURE_DIR", m_dir.filePath("capture"));
        env.insert("VRSIM_CAPTURE", "all");
        env.insert("VRSIM_EVENTS", eventsPath());
        env.insert("VRSIM_TRACE", m_dir.filePath("trace.log"));
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        for (const QString& key : unset)
            env.remove(key);
        m_run = std::make_unique<ProgramRun>(workingDir, QStringList{"-english"}, env);
    }

    ProgramRun& run() { return *m_run; }

    // Appends one line to the event script; the runtime picks it up at its next poll.
    void send(const QString& line)
    {
        QFile script(eventsPath());
        QVERIFY(script.open(QIODevice::Append));
        script.write(line.toUtf8() + '\n');
    }

    int frameCount() const
    {
        QFile log(QDir(m_dir.filePath("capture")).filePath("frames.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return log.readAll().count('\n');
    }

    bool waitForFrames(int count, int msecs = 15000)
    {
        return QTest::qWaitFor([&] { return frameCount() >= count || !m_run->isRunning(); }, msecs)
               && frameCount() >= count;
    }

    // Waits until no new frame has arrived for the given quiet time; returns the count.
    int waitForQuiet(int quietMs = 300, int msecs = 10000)
    {
        QElapsedTimer total;
        total.start();
        int count = frameCount();
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < quietMs && total.elapsed() < msecs) {
            QTest::qWait(20);
            if (frameCount() != count) {
                count = frameCount();
                quiet.restart();
            }
        }
        return count;
    }

    // Waits for a frame after `after` for which the check holds; returns its index or 0.
    int waitForFrameWhere(int after, const std::function<bool(const QImage&)>& check, int msecs = 15000)
    {
        int next = after + 1;
        int found = 0;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                for (; next <= frameCount() && !found; ++next)
                    if (check(frame(next)))
                        found = next;
                return found != 0 || !m_run->isRunning();
            },
            msecs));
        return found;
    }

    QImage frame(int index) const
    {
        return QImage(QDir(m_dir.filePath("capture")).filePath(QString::asprintf("frame-%06d.png", index)));
    }

    QString trace() const
    {
        QFile log(m_dir.filePath("trace.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // A press and a release at one place, after the pointer got there, as a trigger pull.
    void click(QPoint at)
    {
        const QString where = QStringLiteral("%1 %2").arg(at.x()).arg(at.y());
        send("overlay move " + where);
        send("overlay down " + where + " left");
        send("overlay up " + where + " left");
    }

private:
    QString eventsPath() const { return m_dir.filePath("events.txt"); }

    QTemporaryDir m_dir;
    std::unique_ptr<ProgramRun> m_run;
};

// `nerq-peer watch` in the background, reporting each record the program writes.
class PeerWatch
{
public:
    PeerWatch()
    {
        m_process.start(peer(), {"watch", "--consume", "--timeout", "60"});
        m_process.waitForStarted();
        m_process.setReadChannel(QProcess::StandardError);
        m_announced =
            QTest::qWaitFor([this] { return m_process.canReadLine() || m_process.state() != QProcess::Running; }, 5000);
        m_announced = m_announced && m_process.readLine().startsWith("watching");
        m_process.setReadChannel(QProcess::StandardOutput);
    }
    ~PeerWatch()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool ready() const { return m_announced; }

    bool waitFor(const QString& text, int msecs = 10000)
    {
        return QTest::qWaitFor(
            [&] {
                m_seen += QString::fromLatin1(m_process.readAllStandardOutput());
                return m_seen.contains(text);
            },
            msecs);
    }
    QString seen() const { return m_seen; }

private:
    QProcess m_process;
    QString m_seen;
    bool m_announced = false;
};

QString recorded(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace

class TestVrPresentation : public QObject
{
    Q_OBJECT

private slots:
    void init() { QCOMPARE(runToolCode({"clear", "all", "--remove"}), 0); }
    void cleanupTestCase() { runToolCode({"clear", "all", "--remove"}); }

    void framesShowThePageAndOnlyOnRequest();
    void hoverShowsTheHoverLayerInTheNextFrame();
    void scrollMovesTheGrid();
    void tileClicksLaunchAndHandTheModeToTheService();
    void calibrationReachesTheServiceAndThePanelFades();
    void exitCodes_data();
    void exitCodes();

private:
    static int runToolCode(const QStringList& args)
    {
        int code = -1;
        runTool(peer(), args, &code);
        return code;
    }
};

void TestVrPresentation::framesShowThePageAndOnlyOnRequest()
{
    VrSession vr;
    QVERIFY2(vr.waitForFrames(1), qPrintable(vr.run().output()));
    const QImage first = vr.frame(1);
    QCOMPARE(first.size(), QSize(1920, 1080));
    // The separator under the title, at both ends; above it the background.
    QVERIFY2(near(first.pixelColor(130, 157), QColor("#00677e")), qPrintable(first.pixelColor(130, 157).name()));
    QVERIFY(near(first.pixelColor(1790, 158), QColor("#00677e")));
    QVERIFY(!near(first.pixelColor(130, 150), QColor("#00677e")));
    QVERIFY(!near(first.pixelColor(130, 162), QColor("#00677e")));

    // A page at rest asks for nothing, so nothing more is rendered or submitted.
    QTest::qWait(500);
    QCOMPARE(vr.frameCount(), 1);

    vr.send("overlay quit");
    QVERIFY(vr.run().waitForExit());
    QCOMPARE(vr.run().exitStatus(), QProcess::NormalExit);
    QCOMPARE(vr.run().exitCode(), 0);
    const QString trace = vr.trace();
    QVERIFY(trace.contains("AcknowledgeQuit_Exiting"));
    // Every frame went to the main overlay as an OpenGL texture.
    QVERIFY(trace.contains(QRegularExpression("SetOverlayTexture handle=1 texture=[1-9][0-9]* type=1 colorspace=0")));
}

void TestVrPresentation::hoverShowsTheHoverLayerInTheNextFrame()
{
    VrSession vr;
    QVERIFY(vr.waitForFrames(1));
    const int before = vr.waitForQuiet();

    vr.send("overlay move 323 284");
    QVERIFY(vr.waitForFrames(before + 1));
    const QImage hovered = vr.frame(before + 1);
    QVERIFY2(changedShare(vr.frame(before), hovered, firstTilePicture) > 0.3,
             "the hover layer did not cover the first tile");
    QCOMPARE(changedShare(vr.frame(before), hovered, secondTilePicture), 0.0);

    // Leaving the tile takes the layer away again.
    const int hoverFrames = vr.waitForQuiet();
    vr.send("overlay move 323 420");
    QVERIFY(vr.waitForFrames(hoverFrames + 1));
    QVERIFY(changedShare(vr.frame(1), vr.frame(vr.waitForQuiet()), firstTilePicture) < 0.01);
}

void TestVrPresentation::scrollMovesTheGrid()
{
    VrSession vr;
    QVERIFY(vr.waitForFrames(1));
    const int before = vr.waitForQuiet();
    const QImage rest = vr.frame(before);

    // Pointing at the grid, then one turn of the wheel downwards.
    vr.send("overlay move 700 500");
    vr.send("overlay scroll 0 -1");
    const int scrolled = vr.waitForFrameWhere(
        before, [&rest](const QImage& frame) { return changedShare(rest, frame, QRect(123, 190, 1700, 695)) > 0.3; });
    QVERIFY2(scrolled, "the grid did not scroll");
    const QImage last = vr.frame(vr.waitForQuiet());
    // The scroll bar's thumb followed: its top left the top of the bar.
    QVERIFY(!near(rest.pixelColor(1846, 195), last.pixelColor(1846, 195), 3));
    // The header stays where it is.
    QVERIFY(near(last.pixelColor(130, 157), QColor("#00677e")));
}

void TestVrPresentation::tileClicksLaunchAndHandTheModeToTheService()
{
    RuntimeCopy runtime;
    const QString ranMarker = runtime.filePath("native-ran.txt");
    const QString openedMarker = runtime.filePath("xdg-open-args.txt");
    runtime.writeFile("game/testgame.sh", QStringLiteral("#!/bin/sh\necho ran >> '%1'\n").arg(ranMarker).toUtf8(),
                      true);
    runtime.writeFile("fakebin/xdg-open",
                      QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(openedMarker).toUtf8(), true);
    runtime.writeFile("game/data_en.json", R"([
  {"gameId": "native_one", "gameName": "Native One", "imgPath": "../game/images/starfall.png",
   "isNative": true, "launcherPath": "./game/testgame.sh", "steamGameId": 0, "gameMode": 3},
  {"gameId": "steam_two", "gameName": "Steam Two", "imgPath": "../game/images/deep_reef.png",
   "isNative": false, "launcherPath": "", "steamGameId": 4242, "gameMode": 2}
])");

    PeerWatch watch;
    QVERIFY(watch.ready());
    QProcessEnvironment extra;
    extra.insert("PATH", runtime.filePath("fakebin") + ":" + qEnvironmentVariable("PATH"));
    VrSession vr(runtime.path(), extra);
    QVERIFY2(vr.waitForFrames(1), qPrintable(vr.run().output()));

    vr.click(firstTilePicture.center());
    QVERIFY2(watch.waitFor("Velkano_Game text=\"START3\""), qPrintable(watch.seen()));
    QTRY_COMPARE_WITH_TIMEOUT(recorded(ranMarker), QStringLiteral("ran"), 10000);

    vr.click(secondTilePicture.center());
    QVERIFY2(watch.waitFor("Velkano_Game text=\"START2\""), qPrintable(watch.seen()));
    QTRY_COMPARE_WITH_TIMEOUT(recorded(openedMarker), QStringLiteral("steam://launch/4242/Vr"), 10000);
    // One click, one launch.
    QCOMPARE(recorded(ranMarker), QStringLiteral("ran"));

    vr.send("overlay quit");
    QVERIFY(vr.run().waitForExit());
    QCOMPARE(vr.run().exitCode(), 0);
}

void TestVrPresentation::calibrationReachesTheServiceAndThePanelFades()
{
    PeerWatch watch;
    QVERIFY(watch.ready());
    VrSession vr;
    QVERIFY(vr.waitForFrames(1));
    const int rest = vr.waitForQuiet();
    const QImage atRest = vr.frame(rest);

    vr.click(calibrationButton);
    QVERIFY2(watch.waitFor("Velkano_Memory text=\"Calibration\""), qPrintable(watch.seen()));

    // The confirmation panel shows, holds for a second, fades, and then the renderer falls
    // quiet with the page as it was (the pointer still rests on the button, but the
    // instruction panel stays away after a click).
    const int shown = vr.waitForFrameWhere(
        rest, [&atRest](const QImage& frame) { return changedShare(atRest, frame, panelArea) > 0.3; });
    QVERIFY2(shown, "no frame showed the confirmation panel");
    const int last = vr.waitForQuiet(1500, 20000);
    // A fade, not a jump: several frames between. Rendering can be slow enough under load (the
    // sanitizer build on two busy cores) to draw only a few of the fade's 22 steps.
    QVERIFY2(last - shown >= 3, qPrintable(QString::number(last - shown)));
    QVERIFY(changedShare(atRest, vr.frame(last), panelArea) < 0.01);

    vr.send("overlay quit");
    QVERIFY(vr.run().waitForExit());
    QCOMPARE(vr.run().exitCode(), 0);
}

void TestVrPresentation::exitCodes_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("framesExpected");

    QTest::newRow("quit event") << "event" << 0 << true;
    QTest::newRow("quit event in a burst") << "event-burst" << 0 << true;
    QTest::newRow("quit flag from the service") << "flag" << 0 << true;
    // No OpenGL at all: the overlay exists but the renderer cannot start.
    QTest::newRow("no OpenGL context") << "nogl" << 255 << false;
}

void TestVrPresentation::exitCodes()
{
    QFETCH(QString, how);
    QFETCH(int, exitCode);
    QFETCH(bool, framesExpected);

    QProcessEnvironment extra;
    QStringList unset;
    if (how == "nogl") {
        // Without a display the offscreen platform has no OpenGL at all.
        extra.insert("QT_QPA_PLATFORM", "offscreen");
        unset << "DISPLAY"
              << "WAYLAND_DISPLAY";
    }
    VrSession vr(TestPaths::runtimeDir(), extra, unset);
    if (framesExpected) {
        QVERIFY(vr.waitForFrames(1));
        if (how == "event") {
            vr.send("overlay quit");
        } else if (how == "event-burst") {
            // Events behind the quit are left unread; the program does not act on them.
            vr.send("overlay move 10 10\noverlay quit\noverlay move 20 20\noverlay down 20 20");
        } else {
            QCOMPARE(runToolCode({"quit"}), 0);
        }
    }
    QVERIFY(vr.run().waitForExit());
    QCOMPARE(vr.run().exitStatus(), QProcess::NormalExit);
    QCOMPARE(vr.run().exitCode(), exitCode);
    if (how == "nogl")
        QVERIFY2(vr.run().output().contains("Start-up failed: Could not create OpenGL context"),
                 qPrintable(vr.run().output()));

    const QString trace = vr.trace();
    QVERIFY(trace.contains("CreateDashboardOverlay"));
    QCOMPARE(trace.contains("SetOverlayTexture"), framesExpected);
    QCOMPARE(trace.contains("AcknowledgeQuit_Exiting"), how.startsWith("event"));
    if (how == "event-burst")
        QVERIFY(!trace.contains("type=301"));
}

QTEST_GUILESS_MAIN(TestVrPresentation)
#include "tst_vrpresentation.moc"
