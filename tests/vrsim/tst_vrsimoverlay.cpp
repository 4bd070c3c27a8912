// Dashboard overlays of the simulated runtime: creation, key ownership across processes,
// settings, visibility, event polling, keyboard text and frame submission.
#include <cstring>

#include <QFile>
#include <QImage>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

namespace {

const char* const kKey = "nerqvr.vrplatform";

bool traced(const char* line)
{
    for (const std::string& traceLine : vrsim::traceLines())
        if (traceLine == line)
            return true;
    return false;
}

} // namespace

class TestVrsimOverlay : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_state;
    vr::VROverlayHandle_t m_main = 0;
    vr::VROverlayHandle_t m_thumb = 0;

    vr::EVROverlayError create(const char* key = kKey, const char* name = "NERQ I/O")
    {
        return vr::VROverlay()->CreateDashboardOverlay(key, name, &m_main, &m_thumb);
    }

private slots:
    void init() { QCOMPARE(VrsimTest::connect(m_state), vr::VRInitError_None); }
    void cleanup() { vr::VR_Shutdown(); }

    void recordsTheOverlaySettings()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        QVERIFY(m_main != vr::k_ulOverlayHandleInvalid);
        QVERIFY(m_thumb != vr::k_ulOverlayHandleInvalid);
        QVERIFY(m_main != m_thumb);
        QCOMPARE(vrsim::mainOverlayHandle(), m_main);
        QCOMPARE(vrsim::thumbnailHandle(), m_thumb);

        vr::IVROverlay* overlay = vr::VROverlay();
        QCOMPARE(overlay->SetOverlayWidthInMeters(m_main, 3.0f), vr::VROverlayError_None);
        QCOMPARE(overlay->SetOverlayInputMethod(m_main, vr::VROverlayInputMethod_Mouse), vr::VROverlayError_None);
        QCOMPARE(overlay->SetOverlayFlag(m_main, vr::VROverlayFlags_SendVRScrollEvents, true), vr::VROverlayError_None);
        const vr::HmdVector2_t scale = {{1920.0f, 1080.0f}};
        QCOMPARE(overlay->SetOverlayMouseScale(m_main, &scale), vr::VROverlayError_None);

        const vrsim::OverlaySettings settings = vrsim::overlaySettings(m_main);
        QCOMPARE(settings.key, std::string(kKey));
        QCOMPARE(settings.name, std::string("NERQ I/O"));
        QCOMPARE(settings.widthInMeters, 3.0f);
        QCOMPARE(settings.inputMethod, int(vr::VROverlayInputMethod_Mouse));
        QCOMPARE(settings.flags, uint64_t(1) << vr::VROverlayFlags_SendVRScrollEvents);
        QCOMPARE(settings.mouseScaleX, 1920.0f);
        QCOMPARE(settings.mouseScaleY, 1080.0f);
        QVERIFY(vrsim::overlaySettings(m_thumb).thumbnail);

        QVERIFY(traced("CreateDashboardOverlay key=\"nerqvr.vrplatform\" name=\"NERQ I/O\" -> 0 main=1 thumb=2"));
        QVERIFY(traced("SetOverlayWidthInMeters handle=1 width=3 -> 0"));
        QVERIFY(traced("SetOverlayInputMethod handle=1 method=1 -> 0"));
        QVERIFY(traced("SetOverlayFlag handle=1 flag=6 enabled=1 -> 0"));
        QVERIFY(traced("SetOverlayMouseScale handle=1 x=1920 y=1080 -> 0"));

        // Turning a flag off again clears only that flag.
        QCOMPARE(overlay->SetOverlayFlag(m_main, vr::VROverlayFlags_SendVRScrollEvents, false),
                 vr::VROverlayError_None);
        QCOMPARE(vrsim::overlaySettings(m_main).flags, uint64_t(0));
    }

    void settingsOnUnknownHandlesFail()
    {
        vr::IVROverlay* overlay = vr::VROverlay();
        QCOMPARE(overlay->SetOverlayWidthInMeters(0, 3.0f), vr::VROverlayError_InvalidHandle);
        QCOMPARE(overlay->SetOverlayInputMethod(77, vr::VROverlayInputMethod_Mouse), vr::VROverlayError_InvalidHandle);
        QCOMPARE(overlay->SetOverlayMouseScale(1, nullptr), vr::VROverlayError_InvalidParameter);
        QVERIFY(!overlay->IsOverlayVisible(77));
    }

    void keyAndNameLimits()
    {
        QCOMPARE(create(""), vr::VROverlayError_InvalidParameter);
        QCOMPARE(create(std::string(256, 'k').c_str()), vr::VROverlayError_KeyTooLong);
        QCOMPARE(create(kKey, std::string(128, 'n').c_str()), vr::VROverlayError_NameTooLong);
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay(kKey, "x", nullptr, &m_thumb),
                 vr::VROverlayError_InvalidParameter);
        // None of the refusals took the key.
        QCOMPARE(create(), vr::VROverlayError_None);
    }

    void keyIsFreedWithTheConnection()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        QCOMPARE(create(), vr::VROverlayError_KeyInUse);
        vr::VR_Shutdown();
        vr::EVRInitError error = vr::VRInitError_Unknown;
        vr::VR_Init(&error, vr::VRApplication_Overlay);
        QCOMPARE(create(), vr::VROverlayError_None);
    }

    void keyIsUniqueAcrossProcesses()
    {
        QString created;
        auto holder = VrsimTest::holdKey(QString::fromLatin1(kKey), &created);
        QCOMPARE(created, QStringLiteral("create 0"));
        QCOMPARE(create(), vr::VROverlayError_KeyInUse);
        // Another key is not affected.
        QCOMPARE(create("other.key"), vr::VROverlayError_None);

        // The holder dying without any goodbye frees the key.
        holder->kill();
        QVERIFY(holder->waitForFinished(5000));
        QCOMPARE(create(), vr::VROverlayError_None);

        // And now we hold it against the other process.
        auto second = VrsimTest::holdKey(QString::fromLatin1(kKey), &created);
        QCOMPARE(created, QStringLiteral("create 17"));
        QVERIFY(second->waitForFinished(5000));
    }

    void thumbnailFromFile()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        const QString png = m_state.path() + QStringLiteral("/thumb.png");
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(png));
        QFile text(m_state.path() + QStringLiteral("/notanimage.png"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello");
        text.close();

        vr::IVROverlay* overlay = vr::VROverlay();
        const QByteArray missing = (m_state.path() + QStringLiteral("/missing.png")).toUtf8();
        QCOMPARE(overlay->SetOverlayFromFile(m_thumb, missing.constData()), vr::VROverlayError_UnableToLoadFile);
        QCOMPARE(overlay->SetOverlayFromFile(m_thumb, text.fileName().toUtf8().constData()),
                 vr::VROverlayError_UnableToLoadFile);
        QVERIFY(vrsim::overlaySettings(m_thumb).fromFile.empty());
        QCOMPARE(overlay->SetOverlayFromFile(m_thumb, png.toUtf8().constData()), vr::VROverlayError_None);
        QCOMPARE(vrsim::overlaySettings(m_thumb).fromFile, png.toStdString());
        QVERIFY(traced(("SetOverlayFromFile handle=2 path=\"" + png.toStdString() + "\" -> 0").c_str()));
    }

    void visibility()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        vr::IVROverlay* overlay = vr::VROverlay();
        QVERIFY(overlay->IsOverlayVisible(m_main));
        QVERIFY(!overlay->IsOverlayVisible(m_thumb));
        vrsim::setOverlayVisible(false);
        vrsim::setThumbnailVisible(true);
        QVERIFY(!overlay->IsOverlayVisible(m_main));
        QVERIFY(overlay->IsOverlayVisible(m_thumb));

        vr::VR_Shutdown();
        QCOMPARE(VrsimTest::connect(m_state, {{"VRSIM_OVERLAY_VISIBLE", "0"}, {"VRSIM_THUMBNAIL_VISIBLE", "1"}}),
                 vr::VRInitError_None);
        QCOMPARE(create(), vr::VROverlayError_None);
        QVERIFY(!vr::VROverlay()->IsOverlayVisible(m_main));
        QVERIFY(vr::VROverlay()->IsOverlayVisible(m_thumb));
    }

    void pollNeverWritesPastTheRecord()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseMove, 10.5f, 20.25f));
        vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonDown, 1, 2, vr::VRMouseButton_Right));

        // An older, shorter record: only its bytes are written.
        unsigned char buffer[64];
        std::memset(buffer, 0xAB, sizeof buffer);
        auto* event = reinterpret_cast<vr::VREvent_t*>(buffer);
        QVERIFY(vr::VROverlay()->PollNextOverlayEvent(m_main, event, 16));
        QCOMPARE(event->eventType, uint32_t(vr::VREvent_MouseMove));
        for (size_t i = 16; i < sizeof buffer; ++i)
            QCOMPARE(int(buffer[i]), 0xAB);

        // A record larger than the runtime's gets the runtime's size and no more.
        std::memset(buffer, 0xAB, sizeof buffer);
        QVERIFY(vr::VROverlay()->PollNextOverlayEvent(m_main, event, 40));
        QCOMPARE(event->eventType, uint32_t(vr::VREvent_MouseButtonDown));
        QCOMPARE(event->data.mouse.x, 1.0f);
        QCOMPARE(event->data.mouse.y, 2.0f);
        QCOMPARE(event->data.mouse.button, uint32_t(vr::VRMouseButton_Right));
        for (size_t i = sizeof(vr::VREvent_t); i < sizeof buffer; ++i)
            QCOMPARE(int(buffer[i]), 0xAB);

        QVERIFY(!vr::VROverlay()->PollNextOverlayEvent(m_main, event, sizeof(vr::VREvent_t)));
        QVERIFY(!vr::VROverlay()->PollNextOverlayEvent(999, event, sizeof(vr::VREvent_t)));
    }

    void overlayAndSystemQueuesAreSeparate()
    {
        // Pushed before the overlay exists: it waits for the main overlay.
        vrsim::pushOverlayEvent(vrsim::plainEvent(vr::VREvent_OverlayShown));
        vrsim::pushSystemEvent(vrsim::plainEvent(vr::VREvent_Quit));
        QCOMPARE(create(), vr::VROverlayError_None);
        vr::VREvent_t event = {};
        QVERIFY(vr::VRSystem()->PollNextEvent(&event, sizeof event));
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_Quit));
        QVERIFY(!vr::VRSystem()->PollNextEvent(&event, sizeof event));
        QVERIFY(vr::VROverlay()->PollNextOverlayEvent(m_main, &event, sizeof event));
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_OverlayShown));
        QVERIFY(!vr::VROverlay()->PollNextOverlayEvent(m_thumb, &event, sizeof event));
    }

    void keyboardText()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        vrsim::pushKeyboardDone("h\xc3\xa9llo", 0x100000007ULL);
        char text[1024];
        // The text belongs to the event: nothing before it is polled.
        QCOMPARE(vr::VROverlay()->GetKeyboardText(text, sizeof text), 0u);
        QCOMPARE(text[0], '\0');

        vr::VREvent_t event = {};
        QVERIFY(vr::VROverlay()->PollNextOverlayEvent(m_main, &event, sizeof event));
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_KeyboardDone));
        QCOMPARE(uint64_t{event.data.keyboard.uUserValue}, uint64_t{0x100000007ULL}); // packed member: compare a copy
        QCOMPARE(vr::VROverlay()->GetKeyboardText(text, sizeof text), 6u);
        QCOMPARE(QString::fromUtf8(text), QString::fromUtf8("h\xc3\xa9llo"));

        // Truncated to the buffer, zero-terminated, never inside a character.
        char small[3];
        std::memset(small, 'x', sizeof small);
        QCOMPARE(vr::VROverlay()->GetKeyboardText(small, sizeof small), 1u);
        QCOMPARE(QByteArray(small), QByteArray("h"));
        QCOMPARE(vr::VROverlay()->GetKeyboardText(nullptr, 0), 0u);
    }

    void textureSubmission()
    {
        QCOMPARE(create(), vr::VROverlayError_None);
        vr::IVROverlay* overlay = vr::VROverlay();
        vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(5)), vr::TextureType_OpenGL, vr::ColorSpace_Auto};
        QCOMPARE(overlay->SetOverlayTexture(m_main, &texture), vr::VROverlayError_None);
        QCOMPARE(vrsim::submittedFrameCount(), 1);
        QCOMPARE(vrsim::lastSubmittedTexture(), 5u);
        QCOMPARE(vrsim::overlaySettings(m_main).texturesSubmitted, 1);
        QVERIFY(traced("SetOverlayTexture handle=1 texture=5 type=1 colorspace=0 -> 0"));

        texture.eType = vr::TextureType_DirectX;
        QCOMPARE(overlay->SetOverlayTexture(m_main, &texture), vr::VROverlayError_InvalidTexture);
        texture = {nullptr, vr::TextureType_OpenGL, vr::ColorSpace_Auto};
        QCOMPARE(overlay->SetOverlayTexture(m_main, &texture), vr::VROverlayError_InvalidTexture);
        QCOMPARE(overlay->SetOverlayTexture(m_main, nullptr), vr::VROverlayError_InvalidParameter);
        QCOMPARE(overlay->SetOverlayTexture(99, &texture), vr::VROverlayError_InvalidHandle);
        QCOMPARE(vrsim::submittedFrameCount(), 1);
    }

    void quitAcknowledgement()
    {
        vr::VRSystem()->AcknowledgeQuit_Exiting();
        QCOMPARE(vrsim::quitAcknowledgements(), 1);
        QVERIFY(traced("AcknowledgeQuit_Exiting"));
    }
};

QTEST_GUILESS_MAIN(TestVrsimOverlay)
#include "tst_vrsimoverlay.moc"
