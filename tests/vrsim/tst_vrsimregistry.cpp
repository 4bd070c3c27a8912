// The application registry of the simulated runtime, shared by every process through the state
// directory: manifests, working directories, auto-launch and the injectable failures.
#include <QDir>
#include <QFile>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

namespace {

const char* const kKey = "nerqvr.vrplatform";

// Writes a manifest into <root>/<folder> and gives its path.
QString writeManifest(const QTemporaryDir& root, const QString& folder, const QByteArray& content)
{
    QDir(root.path()).mkpath(folder);
    const QString path = root.path() + QLatin1Char('/') + folder + QStringLiteral("/manifest.vrmanifest");
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    return path;
}

QByteArray manifestFor(const char* key)
{
    return QByteArray("{\"source\":\"builtin\",\"applications\":[{\"app_key\":\"") + key
           + "\",\"launch_type\":\"binary\",\"binary_path_linux\":\"NerqVRPlatform\"}]}";
}

vr::EVRApplicationError add(const QString& path)
{
    return vr::VRApplications()->AddApplicationManifest(path.toUtf8().constData());
}

vr::EVRApplicationError remove(const QString& path)
{
    return vr::VRApplications()->RemoveApplicationManifest(path.toUtf8().constData());
}

QString workingDirectory(const char* key, uint32_t size, vr::EVRApplicationError* error, uint32_t* result = nullptr)
{
    QByteArray buffer(int(size) + 1, '\0');
    const uint32_t required = vr::VRApplications()->GetApplicationPropertyString(
        key, vr::VRApplicationProperty_WorkingDirectory_String, buffer.data(), size, error);
    if (result)
        *result = required;
    return QString::fromUtf8(buffer.constData());
}

} // namespace

class TestVrsimRegistry : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QCOMPARE(VrsimTest::connect(*m_root, {}, vr::VRApplication_Utility), vr::VRInitError_None);
    }
    void cleanup() { vr::VR_Shutdown(); }

    void registersTheManifestDirectory()
    {
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        QVERIFY(!vr::VRApplications()->IsApplicationInstalled(kKey));
        QCOMPARE(add(manifest), vr::VRApplicationError_None);
        QVERIFY(vr::VRApplications()->IsApplicationInstalled(kKey));
        vr::EVRApplicationError error = vr::VRApplicationError_IPCFailed;
        QCOMPARE(workingDirectory(kKey, 1024, &error), m_root->path() + QStringLiteral("/app"));
        QCOMPARE(error, vr::VRApplicationError_None);

        // Registering again is an ordinary call and keeps one registration.
        QCOMPARE(add(manifest), vr::VRApplicationError_None);
        QCOMPARE(vrsim::registeredManifests().size(), size_t(1));

        // Another process sees the same registry.
        QCOMPARE(VrsimTest::probe({QStringLiteral("installed"), QString::fromLatin1(kKey)}),
                 QStringLiteral("installed 1"));
        QCOMPARE(VrsimTest::probe({QStringLiteral("workdir"), QString::fromLatin1(kKey), QStringLiteral("1024")}),
                 QStringLiteral("workdir error=0 size=%1 value=%2")
                     .arg(m_root->path().toUtf8().size() + 5)
                     .arg(m_root->path() + QStringLiteral("/app")));
    }

    void latestRegistrationWinsUntilRemoved()
    {
        const QString oldPlace = writeManifest(*m_root, QStringLiteral("old"), manifestFor(kKey));
        const QString newPlace = writeManifest(*m_root, QStringLiteral("new"), manifestFor(kKey));
        QCOMPARE(add(oldPlace), vr::VRApplicationError_None);
        QCOMPARE(add(newPlace), vr::VRApplicationError_None);
        vr::EVRApplicationError error;
        QCOMPARE(workingDirectory(kKey, 1024, &error), m_root->path() + QStringLiteral("/new"));

        QCOMPARE(remove(newPlace), vr::VRApplicationError_None);
        QVERIFY(vr::VRApplications()->IsApplicationInstalled(kKey));
        QCOMPARE(workingDirectory(kKey, 1024, &error), m_root->path() + QStringLiteral("/old"));

        // Removal by another process is seen here.
        QCOMPARE(VrsimTest::probe({QStringLiteral("remove"), oldPlace}), QStringLiteral("remove 0"));
        QVERIFY(!vr::VRApplications()->IsApplicationInstalled(kKey));
        QCOMPARE(remove(oldPlace), vr::VRApplicationError_UnknownApplication);
    }

    void pathsInOtherSpellings()
    {
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        QString backslashed = manifest;
        backslashed.replace(QLatin1Char('/'), QLatin1Char('\\'));
        QCOMPARE(add(backslashed), vr::VRApplicationError_None);
        QCOMPARE(vrsim::registeredManifests(), std::vector<std::string>{manifest.toStdString()});
        // The same file named with a detour is the same registration.
        QCOMPARE(remove(m_root->path() + QStringLiteral("/app/../app//manifest.vrmanifest")),
                 vr::VRApplicationError_None);
        QVERIFY(vrsim::registeredManifests().empty());
    }

    void invalidManifests_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("{\"applications\": [");
        QTest::newRow("no applications") << QByteArray("{\"source\":\"builtin\"}");
        QTest::newRow("empty list") << QByteArray("{\"applications\":[]}");
        QTest::newRow("no key") << QByteArray("{\"applications\":[{\"launch_type\":\"binary\"}]}");
        QTest::newRow("key not text") << QByteArray("{\"applications\":[{\"app_key\":7}]}");
        QTest::newRow("array root") << QByteArray("[1,2]");
    }

    void invalidManifests()
    {
        QFETCH(QByteArray, content);
        const QString manifest = writeManifest(*m_root, QStringLiteral("bad"), content);
        VrsimTest::StderrCapture stderrCapture;
        QCOMPARE(add(manifest), vr::VRApplicationError_InvalidManifest);
        QVERIFY(vrsim::registeredManifests().empty());
        QVERIFY(stderrCapture.text().contains(QLatin1String("manifest")));
    }

    void missingManifest()
    {
        VrsimTest::StderrCapture stderrCapture;
        QCOMPARE(add(m_root->path() + QStringLiteral("/nowhere/manifest.vrmanifest")),
                 vr::VRApplicationError_InvalidManifest);
        QVERIFY(!vr::VRApplications()->IsApplicationInstalled(kKey));
    }

    void workingDirectoryBuffer()
    {
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        QCOMPARE(add(manifest), vr::VRApplicationError_None);
        const QString expected = m_root->path() + QStringLiteral("/app");
        const uint32_t needed = uint32_t(expected.toUtf8().size() + 1);

        vr::EVRApplicationError error = vr::VRApplicationError_None;
        uint32_t result = 0;
        QCOMPARE(workingDirectory(kKey, needed - 1, &error, &result), QString());
        QCOMPARE(error, vr::VRApplicationError_BufferTooSmall);
        QCOMPARE(result, needed);
        QCOMPARE(workingDirectory(kKey, needed, &error, &result), expected);
        QCOMPARE(error, vr::VRApplicationError_None);

        workingDirectory("unknown.key", 1024, &error, &result);
        QCOMPARE(error, vr::VRApplicationError_UnknownApplication);
        QCOMPARE(result, 0u);
        char buffer[64];
        vr::VRApplications()->GetApplicationPropertyString(kKey, static_cast<vr::EVRApplicationProperty>(13), buffer,
                                                           sizeof buffer, &error);
        QCOMPARE(error, vr::VRApplicationError_UnknownProperty);
    }

    void autoLaunch()
    {
        QCOMPARE(vr::VRApplications()->SetApplicationAutoLaunch(kKey, true), vr::VRApplicationError_UnknownApplication);
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        QCOMPARE(add(manifest), vr::VRApplicationError_None);
        QCOMPARE(vr::VRApplications()->SetApplicationAutoLaunch(kKey, true), vr::VRApplicationError_None);
        QVERIFY(vrsim::autoLaunchEnabled(kKey));
        QCOMPARE(VrsimTest::probe({QStringLiteral("autolaunch"), QString::fromLatin1(kKey), QStringLiteral("0")}),
                 QStringLiteral("autolaunch 0"));
        QVERIFY(!vrsim::autoLaunchEnabled(kKey));
        // Auto-launch goes with the last registration of the key.
        QCOMPARE(vr::VRApplications()->SetApplicationAutoLaunch(kKey, true), vr::VRApplicationError_None);
        QCOMPARE(remove(manifest), vr::VRApplicationError_None);
        QVERIFY(!vrsim::autoLaunchEnabled(kKey));
    }

    void injectedErrors()
    {
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        vr::VR_Shutdown();
        QCOMPARE(VrsimTest::connect(*m_root, {{"VRSIM_ADD_MANIFEST_ERROR", "105"}}, vr::VRApplication_Utility),
                 vr::VRInitError_None);
        QCOMPARE(add(manifest), vr::VRApplicationError_IPCFailed);
        QVERIFY(!vr::VRApplications()->IsApplicationInstalled(kKey));

        vr::VR_Shutdown();
        QCOMPARE(VrsimTest::connect(*m_root, {{"VRSIM_AUTOLAUNCH_ERROR", "100"}, {"VRSIM_WORKDIR_ERROR", "201"}},
                                    vr::VRApplication_Utility),
                 vr::VRInitError_None);
        QCOMPARE(add(manifest), vr::VRApplicationError_None);
        QCOMPARE(vr::VRApplications()->SetApplicationAutoLaunch(kKey, true),
                 vr::VRApplicationError_AppKeyAlreadyExists);
        QVERIFY(!vrsim::autoLaunchEnabled(kKey));
        vr::EVRApplicationError error = vr::VRApplicationError_None;
        QCOMPARE(workingDirectory(kKey, 1024, &error), QString());
        QCOMPARE(error, vr::VRApplicationError_PropertyNotSet);
    }

    void temporaryRegistrationStaysInProcess()
    {
        const QString manifest = writeManifest(*m_root, QStringLiteral("app"), manifestFor(kKey));
        QCOMPARE(vr::VRApplications()->AddApplicationManifest(manifest.toUtf8().constData(), true),
                 vr::VRApplicationError_None);
        QVERIFY(vr::VRApplications()->IsApplicationInstalled(kKey));
        QCOMPARE(VrsimTest::probe({QStringLiteral("installed"), QString::fromLatin1(kKey)}),
                 QStringLiteral("installed 0"));
    }
};

QTEST_GUILESS_MAIN(TestVrsimRegistry)
#include "tst_vrsimregistry.moc"
