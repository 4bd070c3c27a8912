// VROverlay in-process against the simulated runtime: the message boxes as objects (their
// exact make-up), the exception texts, the overlay's settings and the rules for submitting
// frames.

#include "logcapture.h"
#include "vroverlay.h"

#include <openvr.h>
#include <vrsim/control.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

// What the user was shown. Each box is closed with a key press, as a person would.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    QMessageBox::StandardButtons standardButtons;
    bool hasDefaultButton = false;
    bool hasParent = false;
    bool modal = false;
    bool closedByKey = true;
};

class BoxWatcher : public QObject
{
public:
    explicit BoxWatcher(Qt::Key closeKey)
        : m_closeKey(closeKey)
    {
        connect(&m_timer, &QTimer::timeout, this, &BoxWatcher::look);
        m_timer.start(20);
    }

    QList<SeenBox> seen;

private:
    // Keys go where the keyboard focus is, as they would for a person.
    void pressCloseKey(QMessageBox* box) { QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, m_closeKey); }

    void look()
    {
        if (!m_closing.isEmpty() && m_closing.last() && m_closing.last()->isVisible()) {
            ++m_ticksOpen;
            // On a busy machine the box may not have its focus yet when the first key comes; a
            // person would press again.
            if (m_ticksOpen % 10 == 0)
                pressCloseKey(m_closing.last());
            // A key that did not close the box is a failure, not a hang.
            if (m_ticksOpen > 100) {
                seen.last().closedByKey = false;
                m_closing.last()->reject();
            }
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible() || m_closing.contains(box))
                continue;
            SeenBox info;
            info.title = box->windowTitle();
            info.text = box->text();
            info.icon = box->icon();
            info.buttonCount = box->buttons().size();
            info.standardButtons = box->standardButtons();
            info.hasDefaultButton = box->defaultButton() != nullptr;
            info.hasParent = box->parentWidget() != nullptr;
            info.modal = box->isModal();
            seen.append(info);
            m_closing.append(box);
            m_ticksOpen = 0;
            pressCloseKey(box);
        }
    }

    QTimer m_timer;
    Qt::Key m_closeKey;
    QList<QPointer<QMessageBox>> m_closing;
    int m_ticksOpen = 0;
};

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

QStringList traceMatching(const QString& prefix)
{
    QStringList lines;
    for (const std::string& line : vrsim::traceLines()) {
        const QString text = QString::fromStdString(line);
        if (text.startsWith(prefix))
            lines.append(text);
    }
    return lines;
}

} // namespace

class VROverlayTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_state;
    QQuickItem m_page;

private slots:
    void initTestCase()
    {
        qputenv("VRSIM_CAPTURE", "none");
        m_page.setSize(QSizeF(1920, 1080));
    }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        QVERIFY(m_state->isValid());
        qputenv("VRSIM_STATE_DIR", m_state->path().toUtf8());
        vrsim::reset();
    }

    void cleanup()
    {
        for (const char* name : {"VRSIM_INIT_ERROR", "VRSIM_MISSING_INTERFACES", "VRSIM_NO_OVERLAY_INTERFACE"})
            qunsetenv(name);
        vrsim::reset();
    }

    void failedConnection_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("closeKey");

        const auto describe = [](vr::EVRInitError error) {
            return QString("Failed to initialize OpenVR: ") + vr::VR_GetVRInitErrorAsEnglishDescription(error);
        };
        const QString outdated = "OpenVR version is too outdated. Please update OpenVR.";
        QTest::newRow("no headset") << QByteArray("VRSIM_INIT_ERROR") << QByteArray("108") << "Could not find HMD!"
                                    << describe(vr::VRInitError_Init_HmdNotFound) << int(Qt::Key_Return);
        QTest::newRow("presence failed") << QByteArray("VRSIM_INIT_ERROR") << QByteArray("126") << "Could not find HMD!"
                                         << describe(vr::VRInitError_Init_HmdNotFoundPresenceFailed)
                                         << int(Qt::Key_Space);
        QTest::newRow("not installed") << QByteArray("VRSIM_INIT_ERROR") << QByteArray("100") << QString()
                                       << describe(vr::VRInitError_Init_InstallationNotFound) << 0;
        QTest::newRow("unknown") << QByteArray("VRSIM_INIT_ERROR") << QByteArray("1") << QString()
                                 << describe(vr::VRInitError_Unknown) << 0;
        QTest::newRow("system interface missing")
            << QByteArray("VRSIM_MISSING_INTERFACES") << QByteArray("IVRSystem_015") << QString()
            << describe(vr::VRInitError_Init_InterfaceNotFound) << 0;
        QTest::newRow("notifications missing")
            << QByteArray("VRSIM_MISSING_INTERFACES") << QByteArray("IVRNotifications_002") << outdated
            << "OpenVR version is too outdated: Interface version IVRNotifications_002 not found."
            << int(Qt::Key_Escape);
        // The first one in the order of checking is named, behind one box.
        QTest::newRow("several missing")
            << QByteArray("VRSIM_MISSING_INTERFACES")
            << QByteArray("IVRNotifications_002,IVRChaperone_003,IVRSettings_002") << outdated
            << "OpenVR version is too outdated: Interface version IVRSettings_002 not found." << int(Qt::Key_Return);
        QTest::newRow("overlay version missing")
            << QByteArray("VRSIM_MISSING_INTERFACES") << QByteArray("IVROverlay_016") << outdated
            << "OpenVR version is too outdated: Interface version IVROverlay_016 not found." << int(Qt::Key_Return);
        QTest::newRow("no overlay interface")
            << QByteArray("VRSIM_NO_OVERLAY_INTERFACE") << QByteArray("1") << "Is OpenVR running?"
            << "No Overlay interface" << int(Qt::Key_Return);
    }

    void failedConnection()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, boxText);
        QFETCH(QString, error);
        QFETCH(int, closeKey);
        qputenv(variable.constData(), value);
        LogCapture log;

        BoxWatcher watcher(closeKey ? Qt::Key(closeKey) : Qt::Key_Return);
        VROverlay overlay;
        QCOMPARE(errorOf([&] { overlay.init(); }), error);

        QCOMPARE(watcher.seen.size(), boxText.isEmpty() ? 0 : 1);
        if (!boxText.isEmpty()) {
            const SeenBox& box = watcher.seen.first();
            QCOMPARE(box.title, QString("NerqVRPlatform"));
            QCOMPARE(box.text, boxText);
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.buttonCount, 1);
            QCOMPARE(box.standardButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(!box.hasDefaultButton);
            QVERIFY(!box.hasParent);
            QVERIFY(box.modal);
            QVERIFY(box.closedByKey);
        }
        QCOMPARE(log.records().size(), size_t(0));
    }

    void versionsAreCheckedInOrder()
    {
        VROverlay overlay;
        QCOMPARE(overlay.init(), 0);
        QStringList checked;
        for (const QString& line : traceMatching("VR_IsInterfaceVersionValid "))
            checked.append(line.section('"', 1, 1));
        // VR_Init checks the system interface itself before the program's own pass.
        QCOMPARE(checked, QStringList({"IVRSystem_015", "IVRSystem_015", "IVRSettings_002", "IVROverlay_016",
                                       "IVRApplications_006", "IVRChaperone_003", "IVRChaperoneSetup_005",
                                       "IVRCompositor_020", "IVRNotifications_002"}));
        QCOMPARE(traceMatching("VR_Init ").value(0), QString("VR_Init type=2 -> 0 VRInitError_None"));
    }

    void openConfiguresTheOverlay()
    {
        VROverlay overlay;
        QCOMPARE(overlay.getOverlayHandle(), vr::k_ulOverlayHandleInvalid);
        QCOMPARE(overlay.getThumbnailHandle(), vr::k_ulOverlayHandleInvalid);
        overlay.init();
        QCOMPARE(overlay.open(&m_page), 0);

        QCOMPARE(overlay.getOverlayHandle(), vrsim::mainOverlayHandle());
        QCOMPARE(overlay.getThumbnailHandle(), vrsim::thumbnailHandle());
        QVERIFY(overlay.getOverlayHandle() != vr::k_ulOverlayHandleInvalid);
        const vrsim::OverlaySettings main = vrsim::overlaySettings(overlay.getOverlayHandle());
        QCOMPARE(QString::fromStdString(main.key), QString("nerqvr.vrplatform"));
        QCOMPARE(QString::fromStdString(main.name), QString("NERQ I/O"));
        QCOMPARE(main.widthInMeters, 3.0f);
        QCOMPARE(main.inputMethod, int(vr::VROverlayInputMethod_Mouse));
        QCOMPARE(main.flags, uint64_t(1) << vr::VROverlayFlags_SendVRScrollEvents);
        QCOMPARE(main.mouseScaleX, 1920.0f);
        QCOMPARE(main.mouseScaleY, 1080.0f);

        // The size at the time of opening counts; later changes do not reach the runtime.
        m_page.setSize(QSizeF(800, 600));
        QCOMPARE(vrsim::overlaySettings(overlay.getOverlayHandle()).mouseScaleX, 1920.0f);
        m_page.setSize(QSizeF(1920, 1080));
    }

    // The test binary's directory has no thumbnail: logged, and the overlay still opens.
    void missingThumbnailIsLogged()
    {
        LogCapture log;
        VROverlay overlay;
        overlay.init();
        QCOMPARE(overlay.open(&m_page), 0);

        const QString expected =
            "Could not find thumbnail icon \"" + QCoreApplication::applicationDirPath() + "/res/thumbicon.png\"";
        QCOMPARE(log.errors(), QStringList{expected});
        QCOMPARE(QString::fromStdString(log.records().front().file), QString("vroverlay"));
        QCOMPARE(traceMatching("SetOverlayFromFile "), QStringList());
        QCOMPARE(vrsim::overlaySettings(overlay.getOverlayHandle()).mouseScaleX, 1920.0f);
    }

    void overlayKeyIsTaken()
    {
        VROverlay first;
        first.init();
        first.open(&m_page);

        BoxWatcher watcher(Qt::Key_Return);
        VROverlay second;
        QCOMPARE(errorOf([&] { second.open(&m_page); }), QString("Failed to create Overlay: VROverlayError_KeyInUse"));
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen.first().text, QString("Another instance is already running."));
        QCOMPARE(watcher.seen.first().title, QString("NerqVRPlatform"));
        QCOMPARE(watcher.seen.first().icon, QMessageBox::Critical);
        QVERIFY(!watcher.seen.first().hasDefaultButton);
        QCOMPARE(second.getOverlayHandle(), vr::k_ulOverlayHandleInvalid);
        QCOMPARE(vrsim::overlaySettings(first.getOverlayHandle()).texturesSubmitted, 0);
    }

    void framesFollowVisibility()
    {
        VROverlay overlay;
        overlay.init();
        overlay.open(&m_page);
        const vr::VROverlayHandle_t main = overlay.getOverlayHandle();

        overlay.processTexture(7);
        QCOMPARE(vrsim::submittedFrameCount(), 1);
        QCOMPARE(vrsim::lastSubmittedTexture(), 7u);

        overlay.processTexture(0); // never a frame
        QCOMPARE(vrsim::submittedFrameCount(), 1);

        vrsim::setOverlayVisible(false);
        vrsim::setThumbnailVisible(false);
        overlay.processTexture(8);
        QCOMPARE(vrsim::submittedFrameCount(), 1);

        // Only the thumbnail showing: the frame still goes to the main overlay.
        vrsim::setThumbnailVisible(true);
        overlay.processTexture(9);
        QCOMPARE(vrsim::submittedFrameCount(), 2);
        QCOMPARE(vrsim::overlaySettings(main).texturesSubmitted, 2);
        QCOMPARE(vrsim::overlaySettings(overlay.getThumbnailHandle()).texturesSubmitted, 0);

        QCOMPARE(traceMatching("SetOverlayTexture ").last(),
                 QString("SetOverlayTexture handle=%1 texture=9 type=1 colorspace=0 -> 0").arg(main));
    }

    // The name is widened without sign extension: the top name stays 2^32 - 1.
    void textureNameIsZeroExtended()
    {
        VROverlay overlay;
        overlay.init();
        overlay.open(&m_page);
        overlay.processTexture(0xFFFFFFFFu);
        QCOMPARE(vrsim::lastSubmittedTexture(), 0xFFFFFFFFu);
        QVERIFY(traceMatching("SetOverlayTexture ").last().contains(" texture=4294967295 type=1 "));
    }

    // The same class as a world overlay of a service: no pointer, no thumbnail, frames while it is
    // shown, nothing after the connection went; and no message box, nobody is there to read it.
    void worldOverlayOfAService()
    {
        VROverlay program;
        program.init();
        program.open(&m_page);
        OverlayDescription notice;
        notice.kind = OverlayDescription::Kind::World;
        notice.key = "test.notice";
        notice.widthInMeters = 0.8f;
        notice.pointer = false;
        notice.askUser = false;
        VROverlay world(notice);
        QCOMPARE(world.open(&m_page), 0);
        const vr::VROverlayHandle_t handle = world.getOverlayHandle();
        QCOMPARE(world.getThumbnailHandle(), vr::k_ulOverlayHandleInvalid);
        QCOMPARE(traceMatching("CreateOverlay ").value(0),
                 QString("CreateOverlay key=\"test.notice\" name=\"NERQ I/O\" -> 0 handle=%1").arg(handle));
        QCOMPARE(traceMatching(QString("SetOverlayWidthInMeters handle=%1 ").arg(handle)).size(), 1);
        QCOMPARE(vrsim::overlaySettings(handle).inputMethod, int(vr::VROverlayInputMethod_None));
        QVERIFY(traceMatching(QString("SetOverlayMouseScale handle=%1").arg(handle)).isEmpty());

        world.processTexture(7);
        QCOMPARE(vrsim::overlaySettings(handle).texturesSubmitted, 0);
        vr::VROverlay()->ShowOverlay(handle);
        world.processTexture(7);
        QCOMPARE(vrsim::overlaySettings(handle).texturesSubmitted, 1);
        QVERIFY(traceMatching("IsOverlayVisible handle=0").isEmpty());
        world.forget();
        QVERIFY(!world.isOpen());
        world.processTexture(7);
        QCOMPARE(vrsim::overlaySettings(handle).texturesSubmitted, 1);

        BoxWatcher watcher(Qt::Key_Return);
        OverlayDescription quiet;
        quiet.askUser = false;
        VROverlay second(quiet);
        QCOMPARE(errorOf([&] { second.open(&m_page); }), QString("Failed to create Overlay: VROverlayError_KeyInUse"));
        QTest::qWait(100);
        QVERIFY(watcher.seen.isEmpty());
    }

    void noOverlayInterfaceMeansNoFrame()
    {
        VROverlay overlay;
        overlay.processTexture(5); // never connected
        QCOMPARE(vrsim::submittedFrameCount(), 0);
    }
};

QTEST_MAIN(VROverlayTest)
#include "tst_vroverlay.moc"
