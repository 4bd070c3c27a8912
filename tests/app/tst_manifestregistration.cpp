// Registration with the VR runtime, in-process against the simulated runtime's registry. The
// operations look for the manifest beside the running executable, here the test binary.

#include "manifestregistration.h"
#include "registryprobe.h"
#include "testpaths.h"

#include <openvr.h>
#include <vrsim/control.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <stdexcept>
#include <string>

using RegistryProbe::callsOf;
using RegistryProbe::quoted;

namespace {

// Calls traced since `from`; fetching an interface is not a request of the program's.
QStringList traceSince(int from)
{
    QStringList lines;
    const std::vector<std::string> all = vrsim::traceLines();
    for (size_t i = static_cast<size_t>(from); i < all.size(); ++i) {
        const QString line = QString::fromStdString(all[i]);
        if (!line.startsWith("VR_GetGenericInterface "))
            lines.append(line);
    }
    return lines;
}

int traceSize()
{
    return static_cast<int>(vrsim::traceLines().size());
}

int indexOfCall(const QStringList& lines, const QString& prefix)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

QString thrownBy(void (*operation)())
{
    try {
        operation();
    } catch (const std::runtime_error& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

} // namespace

class ManifestRegistrationTest : public QObject
{
    Q_OBJECT

private:
    QString m_manifest; // beside the test binary, cleaned
    std::unique_ptr<QTemporaryDir> m_state;
    std::unique_ptr<QTemporaryDir> m_elsewhere;

    void connectRuntime() { QVERIFY(RegistryProbe::connect()); }

    // What a copy of the program in another directory leaves behind after its own install.
    QString registerElsewhere()
    {
        const QString path = m_elsewhere->filePath("manifest.vrmanifest");
        QFile::remove(path);
        if (!QFile::copy(m_manifest, path))
            return QString();
        const vr::EVRApplicationError error =
            vr::VRApplications()->AddApplicationManifest(QDir::toNativeSeparators(path).toUtf8().constData());
        return error == vr::VRApplicationError_None ? path : QString();
    }

private slots:
    void initTestCase()
    {
        const QString appDir = QCoreApplication::applicationDirPath();
        m_manifest = QDir::cleanPath(QDir(appDir).absoluteFilePath("manifest.vrmanifest"));
        QFile::remove(m_manifest);
        QVERIFY(QFile::copy(QDir(TestPaths::sourceDir()).filePath("manifest.vrmanifest"), m_manifest));
        qputenv("VRSIM_CAPTURE", "none");
    }

    void cleanupTestCase() { QFile::remove(m_manifest); }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        m_elsewhere = std::make_unique<QTemporaryDir>();
        QVERIFY(m_state->isValid() && m_elsewhere->isValid());
        qputenv("VRSIM_STATE_DIR", m_state->path().toUtf8());
        connectRuntime();
    }

    void cleanup()
    {
        vr::VR_Shutdown();
        for (const char* name : {"VRSIM_ADD_MANIFEST_ERROR", "VRSIM_AUTOLAUNCH_ERROR", "VRSIM_WORKDIR_ERROR"})
            qunsetenv(name);
        vrsim::reset();
    }

    void installTwiceFromOneDirectory()
    {
        installManifest();
        QCOMPARE(RegistryProbe::workingDirectory(), QCoreApplication::applicationDirPath());

        const int mark = traceSize();
        installManifest();
        const QStringList second = traceSince(mark);
        QCOMPARE(callsOf(second, "RemoveApplicationManifest"), QStringList());
        QCOMPARE(callsOf(second, "AddApplicationManifest"),
                 QStringList{"AddApplicationManifest path=" + quoted(m_manifest) + " temporary=0 -> 0"});
        QCOMPARE(callsOf(second, "SetApplicationAutoLaunch"),
                 QStringList{"SetApplicationAutoLaunch key=\"nerqvr.vrplatform\" enabled=1 -> 0"});
        QCOMPARE(RegistryProbe::workingDirectory(), QCoreApplication::applicationDirPath());
    }

    void installAfterTheProgramMoved()
    {
        const QString earlier = registerElsewhere();
        QVERIFY(!earlier.isEmpty());
        QCOMPARE(RegistryProbe::workingDirectory(), m_elsewhere->path());

        const int mark = traceSize();
        installManifest();
        const QStringList lines = traceSince(mark);
        const int removed = indexOfCall(lines, "RemoveApplicationManifest path=" + quoted(earlier) + " -> 0");
        const int added = indexOfCall(lines, "AddApplicationManifest path=" + quoted(m_manifest));
        QVERIFY2(removed >= 0, qPrintable(lines.join('\n')));
        QVERIFY2(added > removed, qPrintable(lines.join('\n')));
        QCOMPARE(callsOf(lines, "RemoveApplicationManifest").size(), 1);

        QVERIFY(!RegistryProbe::isRegistered(earlier));
        QVERIFY(RegistryProbe::isRegistered(m_manifest));
        QCOMPARE(RegistryProbe::workingDirectory(), QCoreApplication::applicationDirPath());
    }

    void unreadableWorkingDirectoryRemovesNothing()
    {
        const QString earlier = registerElsewhere();
        QVERIFY(!earlier.isEmpty());
        vr::VR_Shutdown();
        qputenv("VRSIM_WORKDIR_ERROR", QByteArray::number(vr::VRApplicationError_PropertyNotSet));
        connectRuntime();

        installManifest();
        QCOMPARE(callsOf(traceSince(0), "RemoveApplicationManifest"), QStringList());
        QVERIFY(RegistryProbe::isRegistered(earlier));
        QVERIFY(RegistryProbe::isRegistered(m_manifest));
    }

    void removeWhenNotRegistered()
    {
        const int mark = traceSize();
        removeManifest();
        QCOMPARE(traceSince(mark), QStringList{"IsApplicationInstalled key=\"nerqvr.vrplatform\" -> 0"});
    }

    void removeWhenRegisteredHere()
    {
        installManifest();
        removeManifest();
        QVERIFY(!RegistryProbe::isInstalled());
    }

    // The manifest beside this executable is the one asked for, not the registered one, and the
    // runtime's refusal is not an error.
    void removeWhenRegisteredElsewhere()
    {
        const QString earlier = registerElsewhere();
        QVERIFY(!earlier.isEmpty());

        const int mark = traceSize();
        QCOMPARE(thrownBy(removeManifest), QString());
        const QStringList removals = callsOf(traceSince(mark), "RemoveApplicationManifest");
        QCOMPARE(removals.size(), 1);
        QVERIFY2(removals[0].startsWith("RemoveApplicationManifest path=" + quoted(m_manifest) + " -> "),
                 qPrintable(removals[0]));
        QVERIFY2(!removals[0].endsWith(" -> 0"), qPrintable(removals[0]));
        QVERIFY(RegistryProbe::isRegistered(earlier));
    }

    void missingManifestStopsBeforeTheRuntime()
    {
        installManifest();
        const QString aside = m_manifest + ".aside";
        QFile::remove(aside);
        QVERIFY(QFile::rename(m_manifest, aside));
        const int mark = traceSize();
        const QString expected = "Could not find application manifest: " + m_manifest;
        const QString installError = thrownBy(installManifest);
        const QString removeError = thrownBy(removeManifest);
        const QStringList calls = traceSince(mark);
        QVERIFY(QFile::rename(aside, m_manifest));

        QCOMPARE(installError, expected);
        QCOMPARE(removeError, expected);
        QCOMPARE(calls, QStringList());
        QVERIFY(RegistryProbe::isInstalled());
    }

    void refusedRegistrationNamesTheRuntimeError_data()
    {
        QTest::addColumn<int>("injected");
        QTest::addColumn<QString>("message");
        QTest::newRow("ipc") << int(vr::VRApplicationError_IPCFailed)
                             << "Could not add application manifest: VRApplicationError_IPCFailed";
        QTest::newRow("invalid") << int(vr::VRApplicationError_InvalidManifest)
                                 << "Could not add application manifest: VRApplicationError_InvalidManifest";
    }

    // The earlier registration stays removed and auto-launch is left alone.
    void refusedRegistrationNamesTheRuntimeError()
    {
        QFETCH(int, injected);
        QFETCH(QString, message);
        const QString earlier = registerElsewhere();
        QVERIFY(!earlier.isEmpty());
        vr::VR_Shutdown();
        qputenv("VRSIM_ADD_MANIFEST_ERROR", QByteArray::number(injected));
        connectRuntime();

        QCOMPARE(thrownBy(installManifest), message);
        const QStringList calls = traceSince(0);
        QCOMPARE(callsOf(calls, "SetApplicationAutoLaunch"), QStringList());
        QVERIFY(indexOfCall(calls, "RemoveApplicationManifest path=" + quoted(earlier) + " -> 0") >= 0);
        QVERIFY(!RegistryProbe::isInstalled());
    }

    // A manifest the runtime cannot read, without any injected error.
    void unreadableManifestIsRefused()
    {
        QFile original(m_manifest);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray content = original.readAll();
        original.close();
        QFile broken(m_manifest);
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("{ \"applications\": [ { \"no_key\": 1 } ] }");
        broken.close();

        const QString message = thrownBy(installManifest);

        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write(content);
        broken.close();
        QCOMPARE(message, QString("Could not add application manifest: VRApplicationError_InvalidManifest"));
    }

    void refusedAutoLaunchKeepsTheRegistration()
    {
        vr::VR_Shutdown();
        qputenv("VRSIM_AUTOLAUNCH_ERROR", QByteArray::number(vr::VRApplicationError_UnknownApplication));
        connectRuntime();

        QCOMPARE(thrownBy(installManifest), QString("Could not set auto start: VRApplicationError_UnknownApplication"));
        QVERIFY(RegistryProbe::isRegistered(m_manifest));
        QCOMPARE(RegistryProbe::workingDirectory(), QCoreApplication::applicationDirPath());
    }
};

QTEST_GUILESS_MAIN(ManifestRegistrationTest)
#include "tst_manifestregistration.moc"
