// Connecting to the simulated runtime: init errors, interface versions, accessors, error texts.
#include <cstddef>

#include <QFile>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

class TestVrsimConnection : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { vr::VR_Shutdown(); }

    void eventRecordHasTheRuntimeLayout()
    {
        // A poll writes this many bytes; the program's record must be exactly as large.
        QCOMPARE(sizeof(vr::VREvent_Data_t), size_t(24));
        QCOMPARE(sizeof(vr::VREvent_t), size_t(36));
        QCOMPARE(offsetof(vr::VREvent_t, data), size_t(12));
        QCOMPARE(sizeof(vr::Texture_t), size_t(16));
    }

    void healthyByDefault()
    {
        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state), vr::VRInitError_None);
        QVERIFY(vr::VRSystem());
        QVERIFY(vr::VROverlay());
        QVERIFY(vr::VRApplications());
        for (const char* version :
             {vr::IVRSystem_Version, vr::IVRSettings_Version, vr::IVROverlay_Version, vr::IVRApplications_Version,
              vr::IVRChaperone_Version, vr::IVRChaperoneSetup_Version, vr::IVRCompositor_Version,
              vr::IVRNotifications_Version})
            QVERIFY2(vr::VR_IsInterfaceVersionValid(version), version);
        QVERIFY(!vr::VR_IsInterfaceVersionValid("IVRSystem_999"));
        QVERIFY(!vr::VR_IsInterfaceVersionValid(nullptr));
    }

    void initErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("no runtime") << 100;
        QTest::newRow("no headset") << 108;
        QTest::newRow("presence failed") << 126;
    }

    void initErrors()
    {
        QFETCH(int, error);
        QTemporaryDir state;
        VrsimTest::configure(state, {{"VRSIM_INIT_ERROR", QByteArray::number(error)}});
        vr::EVRInitError result = vr::VRInitError_None;
        QVERIFY(!vr::VR_Init(&result, vr::VRApplication_Overlay));
        QCOMPARE(int(result), error);
        QVERIFY(!vrsim::connected());
        QVERIFY(!vr::VROverlay());
        QVERIFY(!vr::VR_IsInterfaceVersionValid(vr::IVROverlay_Version));
    }

    void malformedSettingIsIgnored()
    {
        QTemporaryDir state;
        VrsimTest::StderrCapture stderrCapture;
        QCOMPARE(VrsimTest::connect(state, {{"VRSIM_INIT_ERROR", "108x"}}), vr::VRInitError_None);
        QVERIFY(stderrCapture.text().contains(QLatin1String("VRSIM_INIT_ERROR")));
    }

    void missingSystemVersionFailsInit()
    {
        // VR_Init checks the system interface itself and closes the connection again.
        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state, {{"VRSIM_MISSING_INTERFACES", "IVRSystem_015"}}),
                 vr::VRInitError_Init_InterfaceNotFound);
        QVERIFY(!vrsim::connected());
        QVERIFY(!vr::VRSystem());
    }

    void missingLaterVersions()
    {
        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state, {{"VRSIM_MISSING_INTERFACES", "IVRChaperone_003, IVRNotifications_002"}}),
                 vr::VRInitError_None);
        QVERIFY(!vr::VR_IsInterfaceVersionValid("IVRChaperone_003"));
        QVERIFY(!vr::VR_IsInterfaceVersionValid("IVRNotifications_002"));
        QVERIFY(vr::VR_IsInterfaceVersionValid("IVRChaperoneSetup_005"));
        QVERIFY(vr::VR_IsInterfaceVersionValid("IVRCompositor_020"));
    }

    void missingOverlayInterface()
    {
        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state, {{"VRSIM_NO_OVERLAY_INTERFACE", "1"}}), vr::VRInitError_None);
        QVERIFY(vr::VRSystem());
        QVERIFY(!vr::VROverlay());
        QVERIFY(vr::VR_IsInterfaceVersionValid(vr::IVROverlay_Version));
    }

    void accessorsFollowTheConnection()
    {
        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state), vr::VRInitError_None);
        QVERIFY(vr::VROverlay());
        vr::VR_Shutdown();
        QVERIFY(!vr::VRSystem());
        QVERIFY(!vr::VROverlay());
        QVERIFY(!vr::VRApplications());
        vr::EVRInitError error = vr::VRInitError_Unknown;
        QVERIFY(vr::VR_Init(&error, vr::VRApplication_Utility));
        QVERIFY(vr::VRApplications());
    }

    void errorTexts()
    {
        QCOMPARE(QByteArray(vr::VR_GetVRInitErrorAsSymbol(vr::VRInitError_Init_HmdNotFound)),
                 QByteArray("VRInitError_Init_HmdNotFound"));
        QCOMPARE(QByteArray(vr::VR_GetVRInitErrorAsSymbol(vr::VRInitError_Init_HmdNotFoundPresenceFailed)),
                 QByteArray("VRInitError_Init_HmdNotFoundPresenceFailed"));
        const QString noHeadset =
            QString::fromUtf8(vr::VR_GetVRInitErrorAsEnglishDescription(vr::VRInitError_Init_HmdNotFound));
        QVERIFY(noHeadset.contains(QLatin1String("headset")));
        // Values the table does not know still get a text naming the number, and a stable one.
        const auto unknown = static_cast<vr::EVRInitError>(4242);
        const char* text = vr::VR_GetVRInitErrorAsEnglishDescription(unknown);
        QVERIFY(QString::fromUtf8(text).contains(QLatin1String("4242")));
        QCOMPARE(vr::VR_GetVRInitErrorAsEnglishDescription(unknown), text);

        QTemporaryDir state;
        QCOMPARE(VrsimTest::connect(state), vr::VRInitError_None);
        QCOMPARE(vr::VROverlay()->GetOverlayErrorNameFromEnum(vr::VROverlayError_KeyInUse), "VROverlayError_KeyInUse");
        QCOMPARE(vr::VROverlay()->GetOverlayErrorNameFromEnum(vr::VROverlayError_UnableToLoadFile),
                 "VROverlayError_UnableToLoadFile");
        QCOMPARE(vr::VRApplications()->GetApplicationsErrorNameFromEnum(vr::VRApplicationError_InvalidManifest),
                 "VRApplicationError_InvalidManifest");
        QVERIFY(QString::fromUtf8(
                    vr::VRApplications()->GetApplicationsErrorNameFromEnum(static_cast<vr::EVRApplicationError>(999)))
                    .contains(QLatin1String("999")));
    }

    void traceFileRecordsConnection()
    {
        QTemporaryDir state;
        const QString tracePath = state.path() + QStringLiteral("/trace.log");
        QCOMPARE(VrsimTest::connect(state, {{"VRSIM_TRACE", tracePath.toLocal8Bit()}}), vr::VRInitError_None);
        vr::VR_Shutdown();
        QFile file(tracePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("VR_Init type=2 -> 0 VRInitError_None"));
        QVERIFY(lines.contains(QStringLiteral("VR_IsInterfaceVersionValid version=\"IVRSystem_015\" -> 1")));
        QVERIFY(lines.contains(QStringLiteral("VR_Shutdown")));
    }
};

QTEST_GUILESS_MAIN(TestVrsimConnection)
#include "tst_vrsimconnection.moc"
