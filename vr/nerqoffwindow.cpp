#include "nerqoffwindow.h"

#include "processtexture.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QQuickItem>
#include <QQuickRenderControl>
#include <QQuickWindow>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTimer>

#include <stdexcept>

namespace {

constexpr int kRenderDelayMs = 5;

} // namespace

NerqOffWindow::NerqOffWindow() = default;

NerqOffWindow::~NerqOffWindow()
{
    renderTimer.reset();
    // The render control frees scene-graph resources and the framebuffer frees its GL objects;
    // both need the context alive and current, so they go before surface and context.
    if (context && surface)
        context->makeCurrent(surface.get());
    renderControl.reset();
    fbo.reset();
    if (context)
        context->doneCurrent();
    surface.reset();
    context.reset();
    // The window may still be shared with the input pump; only our share is released.
    window.reset();
}

int NerqOffWindow::createContext()
{
    QSurfaceFormat format;
    format.setVersion(2, 1);
    format.setDepthBufferSize(16);
    format.setStencilBufferSize(8);
    format.setSamples(16);

    context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create())
        throw std::runtime_error("Could not create OpenGL context");

    // The surface takes what the driver actually gave, which may differ from what was asked.
    surface = std::make_unique<QOffscreenSurface>(QGuiApplication::primaryScreen());
    surface->setFormat(context->format());
    surface->create();

    context->makeCurrent(surface.get());
    return 0;
}

int NerqOffWindow::connectOverlay(ProcessTexture* sink)
{
    textureSink = sink;
    renderTimer = std::make_unique<QTimer>();
    renderTimer->setSingleShot(true);
    renderTimer->setInterval(kRenderDelayMs);
    connect(renderTimer.get(), &QTimer::timeout, this, &NerqOffWindow::renderOverlay);
    return 0;
}

int NerqOffWindow::setRootItem(QQuickItem* rootItem)
{
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    fboFormat.setTextureTarget(GL_TEXTURE_2D);

    // Truncation, not rounding: a 1920.7 wide page renders 1920 pixels wide.
    fbo = std::make_unique<QOpenGLFramebufferObject>(static_cast<int>(rootItem->width()),
                                                     static_cast<int>(rootItem->height()), fboFormat);

    renderControl = std::make_unique<QQuickRenderControl>();
    window = std::make_shared<QQuickWindow>(renderControl.get());
    window->setRenderTarget(fbo.get());
    window->setColor(Qt::transparent);

    rootItem->setParentItem(window->contentItem());
    window->setGeometry(0, 0, static_cast<int>(rootItem->width()), static_cast<int>(rootItem->height()));

    renderControl->initialize(context.get());

    connect(renderControl.get(), &QQuickRenderControl::renderRequested, this, &NerqOffWindow::start);
    connect(renderControl.get(), &QQuickRenderControl::sceneChanged, this, &NerqOffWindow::start);
    return 0;
}

std::shared_ptr<QQuickWindow> NerqOffWindow::quickWindow()
{
    return window;
}

void NerqOffWindow::renderOverlay()
{
    // A start between connectOverlay and setRootItem has nothing to render yet.
    if (!renderControl || !fbo)
        return;

    // Another context (a preview window, a test's own window) may have been made current on
    // this thread since the last frame; rendering into it would draw someone else's target.
    if (QOpenGLContext::currentContext() != context.get())
        context->makeCurrent(surface.get());

    renderControl->polishItems();
    renderControl->sync();
    renderControl->render();

    if (textureSink)
        textureSink->processTexture(fbo->texture());

    context->functions()->glFlush();
}

void NerqOffWindow::start()
{
    // While pending, further requests change nothing: the first deadline stays.
    if (renderTimer && !renderTimer->isActive())
        renderTimer->start();
}

void NerqOffWindow::stop()
{
    if (renderTimer && renderTimer->isActive())
        renderTimer->stop();
}
