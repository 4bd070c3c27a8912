// Frames handed to the simulated runtime as OpenGL textures: readback with the caller's
// context, PNG capture and frames.log, the caller's GL state left alone, and the preview window
// turning desktop mouse input into overlay events.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QRegularExpression>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest>
#include <openvr.h>
#include <vrsim/control.h>

#include "vrsimtestsupport.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 32;

// Top half red, bottom half blue, as the picture is meant to be seen.
QImage pattern()
{
    QImage image(kWidth, kHeight, QImage::Format_RGBA8888);
    image.fill(Qt::blue);
    for (int y = 0; y < kHeight / 2; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixelColor(x, y, Qt::red);
    return image;
}

bool looksLikePattern(const QImage& image)
{
    return image.size() == QSize(kWidth, kHeight) && image.pixelColor(3, 2) == QColor(Qt::red)
           && image.pixelColor(kWidth - 3, kHeight - 2) == QColor(Qt::blue);
}

} // namespace

class TestVrsimFrames : public QObject
{
    Q_OBJECT

private:
    QOpenGLContext m_context;
    QOffscreenSurface m_surface;
    GLuint m_texture = 0;
    GLuint m_otherTexture = 0;
    std::unique_ptr<QTemporaryDir> m_dir;
    vr::VROverlayHandle_t m_main = 0;
    vr::VROverlayHandle_t m_thumb = 0;

    QOpenGLFunctions* gl() { return m_context.functions(); }

    void start(const QMap<QByteArray, QByteArray>& settings)
    {
        QCOMPARE(VrsimTest::connect(*m_dir, settings), vr::VRInitError_None);
        QCOMPARE(vr::VROverlay()->CreateDashboardOverlay("test.frames", "Frames", &m_main, &m_thumb),
                 vr::VROverlayError_None);
        const vr::HmdVector2_t scale = {{1920.0f, 1080.0f}};
        vr::VROverlay()->SetOverlayMouseScale(m_main, &scale);
    }

    void submit()
    {
        const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(m_texture)), vr::TextureType_OpenGL,
                                       vr::ColorSpace_Auto};
        QCOMPARE(vr::VROverlay()->SetOverlayTexture(m_main, &texture), vr::VROverlayError_None);
    }

    QStringList frameLog()
    {
        QFile file(m_dir->path() + QStringLiteral("/capture/frames.log"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    vr::VREvent_t nextOverlayEvent()
    {
        vr::VREvent_t event = {};
        if (!vr::VROverlay()->PollNextOverlayEvent(m_main, &event, sizeof event))
            event.eventType = vr::VREvent_None;
        return event;
    }

private slots:
    void initTestCase()
    {
        if (!m_context.create())
            QSKIP("No OpenGL here");
        m_surface.setFormat(m_context.format());
        m_surface.create();
        QVERIFY(m_context.makeCurrent(&m_surface));
        // GL rows run bottom-up, so the picture is uploaded upside down.
        const QImage upload = pattern().mirrored();
        gl()->glGenTextures(1, &m_texture);
        gl()->glBindTexture(GL_TEXTURE_2D, m_texture);
        gl()->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                           upload.constBits());
        gl()->glGenTextures(1, &m_otherTexture);
    }

    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { vr::VR_Shutdown(); }

    void capturesEveryFrameAndLeavesGlStateAlone()
    {
        const QString capture = m_dir->path() + QStringLiteral("/capture");
        start({{"VRSIM_CAPTURE_DIR", capture.toLocal8Bit()}, {"VRSIM_CAPTURE", "all"}});
        gl()->glBindTexture(GL_TEXTURE_2D, m_otherTexture);
        gl()->glPixelStorei(GL_PACK_ALIGNMENT, 1);
        submit();
        submit();

        GLint bound = 0;
        GLint alignment = 0;
        gl()->glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        gl()->glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        QCOMPARE(GLuint(bound), m_otherTexture);
        QCOMPARE(alignment, 1);
        QCOMPARE(QOpenGLContext::currentContext(), &m_context);

        QVERIFY(looksLikePattern(QImage(capture + QStringLiteral("/frame-000001.png"))));
        QVERIFY(looksLikePattern(QImage(capture + QStringLiteral("/frame-000002.png"))));
        const QStringList log = frameLog();
        QCOMPARE(log.size(), 2);
        const QRegularExpression line(
            QStringLiteral("^frame=(\\d+) time_ms=(\\d+\\.\\d{3}) texture=%1 width=64 height=32 "
                           "png=frame-00000\\1\\.png$")
                .arg(m_texture));
        const auto first = line.match(log[0]);
        const auto second = line.match(log[1]);
        QVERIFY2(first.hasMatch(), qPrintable(log[0]));
        QVERIFY2(second.hasMatch(), qPrintable(log[1]));
        QVERIFY(second.captured(2).toDouble() >= first.captured(2).toDouble());
    }

    void captureModes()
    {
        const QString capture = m_dir->path() + QStringLiteral("/capture");
        start({{"VRSIM_CAPTURE_DIR", capture.toLocal8Bit()}});
        submit();
        submit();
        QVERIFY(looksLikePattern(QImage(capture + QStringLiteral("/last.png"))));
        QVERIFY(QDir(capture).entryList({QStringLiteral("frame-*")}).isEmpty());
        QVERIFY(frameLog().last().endsWith(QLatin1String("png=last.png")));

        vr::VR_Shutdown();
        QDir(capture).removeRecursively();
        start({{"VRSIM_CAPTURE_DIR", capture.toLocal8Bit()}, {"VRSIM_CAPTURE", "none"}});
        submit();
        QCOMPARE(QDir(capture).entryList(QDir::Files), QStringList{QStringLiteral("frames.log")});
        QVERIFY(frameLog().value(0).endsWith(QLatin1String("width=64 height=32 png=-")));
    }

    // The first dashboard overlay's frames stay where they always were; every other overlay's go
    // to a folder named after its key, numbered on their own.
    void framesAreCapturedPerOverlay()
    {
        const QString capture = m_dir->path() + QStringLiteral("/capture");
        start({{"VRSIM_CAPTURE_DIR", capture.toLocal8Bit()}, {"VRSIM_CAPTURE", "all"}});
        vr::VROverlayHandle_t notice = 0;
        QCOMPARE(vr::VROverlay()->CreateOverlay("test/notice", "Notice", &notice), vr::VROverlayError_None);
        const vr::Texture_t texture = {reinterpret_cast<void*>(uintptr_t(m_texture)), vr::TextureType_OpenGL,
                                       vr::ColorSpace_Auto};
        submit();
        QCOMPARE(vr::VROverlay()->SetOverlayTexture(notice, &texture), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->SetOverlayTexture(notice, &texture), vr::VROverlayError_None);
        submit();

        const QString noticeDir = capture + QStringLiteral("/test%2Fnotice");
        QVERIFY(looksLikePattern(QImage(noticeDir + QStringLiteral("/frame-000002.png"))));
        QVERIFY(!QFile::exists(noticeDir + QStringLiteral("/frame-000003.png")));
        QVERIFY(QFile::exists(capture + QStringLiteral("/frame-000002.png")));
        QVERIFY(!QFile::exists(capture + QStringLiteral("/frame-000003.png")));
        QCOMPARE(frameLog().size(), 2);
        QFile noticeLog(noticeDir + QStringLiteral("/frames.log"));
        QVERIFY(noticeLog.open(QIODevice::ReadOnly));
        QCOMPARE(noticeLog.readAll().count('\n'), 2);

        // A destroyed overlay's next life starts counting again.
        QCOMPARE(vr::VROverlay()->DestroyOverlay(notice), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->CreateOverlay("test/notice", "Notice", &notice), vr::VROverlayError_None);
        QCOMPARE(vr::VROverlay()->SetOverlayTexture(notice, &texture), vr::VROverlayError_None);
        QCOMPARE(vrsim::overlaySettings(notice).texturesSubmitted, 1);
    }

    void readbackForInProcessTests()
    {
        start({});
        submit();
        QVERIFY(vrsim::lastFrame().isNull());
        vrsim::setFrameReadback(true);
        submit();
        QVERIFY(looksLikePattern(vrsim::lastFrame().convertToFormat(QImage::Format_RGBA8888)));
    }

    void previewTurnsMouseIntoOverlayEvents()
    {
        const QString snapshot = m_dir->path() + QStringLiteral("/preview.png");
        start({{"VRSIM_PREVIEW", "1"}, {"VRSIM_PREVIEW_SNAPSHOT", snapshot.toLocal8Bit()}});
        submit();
        QCOMPARE(QOpenGLContext::currentContext(), &m_context);
        QWindow* preview = nullptr;
        for (QWindow* window : QGuiApplication::topLevelWindows())
            if (window->title() == QLatin1String("vrsim preview"))
                preview = window;
        QVERIFY(preview);
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        QCOMPARE(preview->size(), QSize(960, 540));

        // Window pixels scale to the overlay's mouse units, without flipping.
        QTest::mouseMove(preview, QPoint(480, 135));
        QTRY_COMPARE(vrsim::pendingOverlayEvents(), size_t(1));
        vr::VREvent_t event = nextOverlayEvent();
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_MouseMove));
        QCOMPARE(event.data.mouse.x, 960.0f);
        QCOMPARE(event.data.mouse.y, 270.0f);

        QTest::mousePress(preview, Qt::RightButton, Qt::NoModifier, QPoint(96, 54));
        QTest::mouseRelease(preview, Qt::MiddleButton, Qt::NoModifier, QPoint(96, 54));
        QTRY_VERIFY(vrsim::pendingOverlayEvents() >= 2);
        // The press may come after a move to its position, as with a real pointer.
        do
            event = nextOverlayEvent();
        while (event.eventType == vr::VREvent_MouseMove);
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_MouseButtonDown));
        QCOMPARE(event.data.mouse.button, uint32_t(vr::VRMouseButton_Right));
        QCOMPARE(event.data.mouse.x, 192.0f);
        QCOMPARE(event.data.mouse.y, 108.0f);
        while (event.eventType != vr::VREvent_MouseButtonUp && event.eventType != vr::VREvent_None)
            event = nextOverlayEvent();
        QCOMPARE(event.data.mouse.button, uint32_t(vr::VRMouseButton_Middle));

        // One wheel notch arrives in the program as one notch (scroll x 360 x 8 = 120).
        QWheelEvent wheel(QPointF(10, 10), QPointF(preview->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(preview, &wheel);
        event = nextOverlayEvent();
        QCOMPARE(event.eventType, uint32_t(vr::VREvent_Scroll));
        const float turned = event.data.scroll.ydelta * 360.0f * 8.0f;
        QCOMPARE(int(turned), -120);

        QTRY_VERIFY(QFile::exists(snapshot));
        QCOMPARE(QImage(snapshot).size(), QSize(960, 540));

        while (nextOverlayEvent().eventType != vr::VREvent_None) {
        }
        preview->close();
        QCOMPARE(nextOverlayEvent().eventType, uint32_t(vr::VREvent_Quit));
        vr::VREvent_t system = {};
        QVERIFY(vr::VRSystem()->PollNextEvent(&system, sizeof system));
        QCOMPARE(system.eventType, uint32_t(vr::VREvent_Quit));
    }
};

QTEST_MAIN(TestVrsimFrames)
#include "tst_vrsimframes.moc"
