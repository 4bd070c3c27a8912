#pragma once

#include <QObject>

#include <memory>

class ProcessTexture;
class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;
class QQuickItem;
class QQuickRenderControl;
class QQuickWindow;
class QTimer;

// Renders the page offscreen through a QQuickRenderControl into a framebuffer object and hands
// each frame's texture to a ProcessTexture sink. Frames are rendered on demand only: every
// trigger arms a 5 ms single-shot timer, so a burst of triggers collapses into one frame.
class NerqOffWindow : public QObject
{
    Q_OBJECT

public:
    NerqOffWindow();
    ~NerqOffWindow() override;

    // Creates the OpenGL context and its offscreen surface and makes the context current.
    // Throws std::runtime_error("Could not create OpenGL context").
    int createContext();
    // The sink is not owned. Creates the render timer.
    int connectOverlay(ProcessTexture* sink);
    // Builds framebuffer, render control and offscreen window around the item (not owned).
    // Needs the current context from createContext.
    int setRootItem(QQuickItem* rootItem);

    std::shared_ptr<QQuickWindow> quickWindow();

public slots:
    void renderOverlay();
    void start();
    void stop();

private:
    std::shared_ptr<QQuickWindow> window;
    std::unique_ptr<QQuickRenderControl> renderControl;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    std::unique_ptr<QOpenGLContext> context;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QTimer> renderTimer;
    ProcessTexture* textureSink = nullptr;
};
