// The maintenance options end to end: copies of the real executable, each in its own
// directory with its own manifest, registering with one simulated runtime.

#include "registryprobe.h"
#include "testpaths.h"

#include <openvr.h>
#include <vrsim/control.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using RegistryProbe::callsOf;
using RegistryProbe::quoted;

namespace {

struct Run {
    int exitCode = -1000;
    QString standardError;
    QStringList trace;
};

} // namespace

class MaintenanceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    int m_runs = 0;

    QString stateDir() const { return m_root->filePath("state"); }

    // A program directory as an installer leaves it: the executable and, unless told otherwise,
    // the manifest beside it.
    QString installDir(const QString& name, bool withManifest = true)
    {
        const QString dir = m_root->filePath(name);
        if (!QDir().mkpath(dir))
            return QString();
        const QString exe = QDir(dir).filePath("NerqVRPlatform");
        if (!QFile::exists(exe) && !QFile::copy(TestPaths::executable(), exe))
            return QString();
        const QString manifest = QDir(dir).filePath("manifest.vrmanifest");
        if (withManifest && !QFile::exists(manifest)
            && !QFile::copy(QDir(TestPaths::runtimeDir()).filePath("manifest.vrmanifest"), manifest))
            return QString();
        return dir;
    }

    Run run(const QString& dir, const QStringList& args, const QStringList& env = {})
    {
        const QString tracePath = m_root->filePath(QString("trace-%1.txt").arg(++m_runs));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VRSIM_STATE_DIR", stateDir());
        environment.insert("VRSIM_TRACE", tracePath);
        environment.insert("VRSIM_CAPTURE", "none");
        // Should an option not end the process, a normal start must not find a display.
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        for (const QString& entry : env)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));

        QProcess process;
        process.setWorkingDirectory(dir);
        process.setProcessEnvironment(environment);
        process.start(QDir(dir).filePath("NerqVRPlatform"), args);
        Run result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1000;
        result.standardError = QString::fromUtf8(process.readAllStandardError());
        QFile trace(tracePath);
        if (trace.open(QIODevice::ReadOnly))
            result.trace = QString::fromUtf8(trace.readAll()).split('\n', Qt::SkipEmptyParts);
        return result;
    }

    void connectRuntime() { QVERIFY(RegistryProbe::connect()); }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(QDir().mkpath(stateDir()));
        qputenv("VRSIM_STATE_DIR", stateDir().toUtf8());
        qputenv("VRSIM_CAPTURE", "none");
    }

    void cleanup()
    {
        vr::VR_Shutdown();
        vrsim::reset();
    }

    void installThenRemove()
    {
        const QString dir = installDir("NerqVR");
        QVERIFY(!dir.isEmpty());
        const QString manifest = QDir(dir).filePath("manifest.vrmanifest");

        const Run install = run(dir, {"-installmanifest"});
        QCOMPARE(install.standardError, QString());
        QCOMPARE(install.exitCode, 0);
        QVERIFY(install.trace.contains("SetApplicationAutoLaunch key=\"nerqvr.vrplatform\" enabled=1 -> 0"));
        connectRuntime();
        QVERIFY(RegistryProbe::isInstalled());
        QCOMPARE(RegistryProbe::workingDirectory(), dir);
        vr::VR_Shutdown();

        const Run remove = run(dir, {"-removemanifest"});
        QCOMPARE(remove.standardError, QString());
        QCOMPARE(remove.exitCode, 0);
        QCOMPARE(callsOf(remove.trace, "RemoveApplicationManifest"),
                 QStringList{"RemoveApplicationManifest path=" + quoted(manifest) + " -> 0"});
        connectRuntime();
        QVERIFY(!RegistryProbe::isInstalled());
    }

    void failuresGoToStandardError_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("withManifest");
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("exitCode");

        const QString noHmd = QString("Failed to initialize OpenVR: ")
                              + vr::VR_GetVRInitErrorAsEnglishDescription(vr::VRInitError_Init_HmdNotFound);
        const QString notInstalled =
            QString("Failed to initialize OpenVR: ")
            + vr::VR_GetVRInitErrorAsEnglishDescription(vr::VRInitError_Init_InstallationNotFound);
        QTest::newRow("install, no runtime")
            << "-installmanifest" << true << QStringList{"VRSIM_INIT_ERROR=100"} << notInstalled << 254;
        QTest::newRow("remove, no headset")
            << "-removemanifest" << true << QStringList{"VRSIM_INIT_ERROR=108"} << noHmd << 254;
        QTest::newRow("install, add refused")
            << "-installmanifest" << true << QStringList{"VRSIM_ADD_MANIFEST_ERROR=105"}
            << "Could not add application manifest: VRApplicationError_IPCFailed" << 255;
        QTest::newRow("install, auto-launch refused")
            << "-installmanifest" << true << QStringList{"VRSIM_AUTOLAUNCH_ERROR=203"}
            << "Could not set auto start: VRApplicationError_InvalidParameter" << 255;
        QTest::newRow("install, no manifest")
            << "-installmanifest" << false << QStringList() << "Could not find application manifest: %1" << 255;
        QTest::newRow("remove, no manifest")
            << "-removemanifest" << false << QStringList() << "Could not find application manifest: %1" << 255;
    }

    void failuresGoToStandardError()
    {
        QFETCH(QString, option);
        QFETCH(bool, withManifest);
        QFETCH(QStringList, env);
        QFETCH(QString, message);
        QFETCH(int, exitCode);
        const QString dir = installDir("NerqVR", withManifest);
        QVERIFY(!dir.isEmpty());
        if (message.contains("%1"))
            message = message.arg(QDir(dir).filePath("manifest.vrmanifest"));

        const Run result = run(dir, {option}, env);
        QCOMPARE(result.standardError, message + '\n');
        QCOMPARE(result.exitCode, exitCode);
    }

    // Removing with no manifest beside the program fails even though the key is registered.
    void removeWithoutManifestWhileRegistered()
    {
        const QString first = installDir("first");
        const QString bare = installDir("bare", false);
        QCOMPARE(run(first, {"-installmanifest"}).exitCode, 0);

        const Run result = run(bare, {"-removemanifest"});
        QCOMPARE(result.exitCode, 255);
        QCOMPARE(result.standardError,
                 "Could not find application manifest: " + QDir(bare).filePath("manifest.vrmanifest") + '\n');
        QCOMPARE(callsOf(result.trace, "IsApplicationInstalled"), QStringList());
        connectRuntime();
        QVERIFY(RegistryProbe::isRegistered(QDir(first).filePath("manifest.vrmanifest")));
    }

    void installAfterTheProgramMoved()
    {
        const QString before = installDir("old-place");
        const QString after = installDir("new-place");
        QCOMPARE(run(before, {"-installmanifest"}).exitCode, 0);

        const Run moved = run(after, {"-installmanifest"});
        QCOMPARE(moved.exitCode, 0);
        const QString oldManifest = QDir(before).filePath("manifest.vrmanifest");
        const QString newManifest = QDir(after).filePath("manifest.vrmanifest");
        QCOMPARE(callsOf(moved.trace, "RemoveApplicationManifest"),
                 QStringList{"RemoveApplicationManifest path=" + quoted(oldManifest) + " -> 0"});
        QVERIFY(moved.trace.indexOf("RemoveApplicationManifest path=" + quoted(oldManifest) + " -> 0")
                < moved.trace.indexOf("AddApplicationManifest path=" + quoted(newManifest) + " temporary=0 -> 0"));

        connectRuntime();
        QVERIFY(!RegistryProbe::isRegistered(oldManifest));
        QVERIFY(RegistryProbe::isRegistered(newManifest));
    }

    // Directories whose names differ only in letter case are one place to the program, so the
    // registration of the other is left alone (on this file system they are two directories).
    void pathsDifferingInCaseCountAsOne()
    {
        const QString upper = installDir("NerqVR");
        const QString lower = installDir("nerqvr");
        QCOMPARE(run(upper, {"-installmanifest"}).exitCode, 0);

        const Run second = run(lower, {"-installmanifest"});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(callsOf(second.trace, "RemoveApplicationManifest"), QStringList());

        connectRuntime();
        QVERIFY(RegistryProbe::isRegistered(QDir(upper).filePath("manifest.vrmanifest")));
        QVERIFY(RegistryProbe::isRegistered(QDir(lower).filePath("manifest.vrmanifest")));
    }

    void removeWhenRegisteredElsewhere()
    {
        const QString registered = installDir("registered");
        const QString other = installDir("other");
        QCOMPARE(run(registered, {"-installmanifest"}).exitCode, 0);

        const Run result = run(other, {"-removemanifest"});
        QCOMPARE(result.standardError, QString());
        QCOMPARE(result.exitCode, 0);
        const QStringList removals = callsOf(result.trace, "RemoveApplicationManifest");
        QCOMPARE(removals.size(), 1);
        QVERIFY2(removals[0].startsWith("RemoveApplicationManifest path="
                                        + quoted(QDir(other).filePath("manifest.vrmanifest"))),
                 qPrintable(removals[0]));

        connectRuntime();
        QCOMPARE(RegistryProbe::workingDirectory(), registered);
    }

    void firstMaintenanceOptionWins_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("registeredBefore");
        QTest::addColumn<bool>("registeredAfter");
        // The desktop option before it changes nothing: the process still ends after the action.
        QTest::newRow("desktop, install") << QStringList{"-desktop", "-installmanifest"} << false << true;
        QTest::newRow("install, remove") << QStringList{"-installmanifest", "-removemanifest"} << false << true;
        QTest::newRow("remove, install") << QStringList{"-removemanifest", "-installmanifest"} << true << false;
        QTest::newRow("install, then more") << QStringList{"-installmanifest", "-bogus", "-desktop"} << false << true;
    }

    void firstMaintenanceOptionWins()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, registeredBefore);
        QFETCH(bool, registeredAfter);
        const QString dir = installDir("NerqVR");
        if (registeredBefore)
            QCOMPARE(run(dir, {"-installmanifest"}).exitCode, 0);

        const Run result = run(dir, args);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.standardError, QString());
        // One connection, as a utility, and nothing of a normal start.
        QCOMPARE(result.trace.filter("CreateDashboardOverlay"), QStringList());
        QCOMPARE(callsOf(result.trace, "AddApplicationManifest").size(), registeredAfter ? 1 : 0);
        QCOMPARE(callsOf(result.trace, "RemoveApplicationManifest").size(), registeredAfter ? 0 : 1);
        connectRuntime();
        QCOMPARE(RegistryProbe::isInstalled(), registeredAfter);
    }
};

QTEST_GUILESS_MAIN(MaintenanceTest)
#include "tst_maintenance.moc"
