// The offscreen renderer in process, on the shipped page with the shipped catalogue: the time
// to render one 1920 x 1080 frame, and how many frames a burst of pointer moves costs.
// Needs a display with OpenGL (run under xvfb-run -a). Argument: [frames to time].

#include "benchblocks.h"
#include "gamedetector.h"
#include "gamemodel.h"
#include "nerqoffwindow.h"
#include "processtexture.h"
#include "vrmouse.h"
#include "vroverlay.h"

#include <vrsim/control.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

namespace {

class CountingSink final : public ProcessTexture
{
public:
    explicit CountingSink(ProcessTexture* next)
        : m_next(next)
    {}
    void processTexture(uint32_t textureName) override
    {
        ++frames;
        m_next->processTexture(textureName);
    }
    int frames = 0;

private:
    ProcessTexture* m_next;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    BenchBlocks blocks;
    const int samples = argc > 1 ? std::max(3, atoi(argv[1])) : 30;
    // The page and the catalogue are found relative to the runtime directory, as the program does.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    QTemporaryDir state;
    qputenv("VRSIM_STATE_DIR", state.path().toUtf8());

    auto model = std::make_shared<GameModel>();
    GameDetector detector(model, [] { return std::string("./game/data_en.json"); });
    detector.LoadGameData();
    QQmlEngine engine;
    QObject launcher; // clicks are not measured here
    QObject calibration;
    engine.rootContext()->setContextProperty("game", model.get());
    engine.rootContext()->setContextProperty("launcher", &launcher);
    engine.rootContext()->setContextProperty("calibration", &calibration);
    QQmlComponent component(&engine, QUrl::fromLocalFile("res/main_widget_en.qml"));
    auto* page = qobject_cast<QQuickItem*>(component.create());
    if (!page) {
        std::fprintf(stderr, "the page did not load: %s\n", qPrintable(component.errorString()));
        return 1;
    }

    VROverlay overlay;
    NerqOffWindow renderer;
    try {
        overlay.init();
        overlay.open(page);
        renderer.createContext();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    CountingSink sink(&overlay);
    renderer.connectOverlay(&sink);
    renderer.setRootItem(page);
    VRMouse mouse(&overlay, &renderer, false);

    // Pictures load on the first frames; time only what follows.
    renderer.start();
    QTest::qWait(1000);

    // The render slot returns after glFlush; glFinish adds the time until the pixels are done.
    std::vector<double> slotMs;
    std::vector<double> finishedMs;
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    for (int i = 0; i < samples; ++i) {
        QElapsedTimer timer;
        timer.start();
        renderer.renderOverlay();
        slotMs.push_back(timer.nsecsElapsed() / 1e6);
        gl->glFinish();
        finishedMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("render one 1920x1080 frame (%d frames): median %.2f ms to the hand-over, %.2f ms until finished\n",
                samples, median(slotMs), median(finishedMs));

    // 50 moves to 50 different pixels, all drained by one pump tick well inside one 5 ms window.
    QTest::qWait(100);
    const int framesBefore = sink.frames;
    for (int i = 0; i < 50; ++i)
        vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseMove, 60.0f + i, 1000.0f));
    QElapsedTimer burst;
    burst.start();
    mouse.OnTimeoutPumpEvents();
    const double deliveredMs = burst.nsecsElapsed() / 1e6;
    QTest::qWait(300);
    // The sink counts while the wait above spins the event loop.
    // cppcheck-suppress duplicateExpression
    const int rendered = sink.frames - framesBefore;
    std::printf("burst of 50 pointer moves (delivered in %.2f ms): %d frame(s) rendered\n", deliveredMs, rendered);

    page->setParentItem(nullptr);
    return 0;
}
