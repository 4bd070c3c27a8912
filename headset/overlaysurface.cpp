#include "overlaysurface.h"

#include "nerqoffwindow.h"
#include "vrmouse.h"

#include <easylogging++.h>

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QUrl>

#include <stdexcept>

OverlaySurface::OverlaySurface(QQmlEngine* engine, const OverlayDescription& description, QSize size)
    : m_engine(engine)
    , m_description(description)
    , m_overlay(description)
    , m_root(std::make_unique<QQuickItem>())
{
    m_root->setSize(size);
}

OverlaySurface::~OverlaySurface()
{
    // The pump shares the renderer's window; the renderer frees its scene graph with the context.
    m_pointer.reset();
    delete m_page;
    m_renderer.reset();
}

void OverlaySurface::createRenderer()
{
    m_renderer = std::make_unique<NerqOffWindow>();
    m_renderer->createContext();
    m_renderer->connectOverlay(&m_overlay);
    m_renderer->setRootItem(m_root.get());
    if (m_description.pointer) {
        m_pointer = std::make_unique<VRMouse>(vr::k_ulOverlayHandleInvalid, m_renderer.get(), false);
        // The runtime going away is not the end of this program.
        m_pointer->setExitOnQuit(false);
        m_pointer->initPumpTimer();
    }
}

bool OverlaySurface::loadPage(const QString& file)
{
    QQmlComponent component(m_engine, QUrl::fromLocalFile(file));
    QObject* created = component.create();
    auto* page = qobject_cast<QQuickItem*>(created);
    if (!page) {
        delete created;
        LOG(ERROR) << "The page " << file.toStdString()
                   << " cannot be shown: " << component.errorString().toStdString();
        return false;
    }
    delete m_page;
    m_page = page;
    m_page->setParentItem(m_root.get());
    m_renderer->start();
    return true;
}

bool OverlaySurface::open()
{
    try {
        m_overlay.open(m_root.get());
    } catch (const std::exception& error) {
        LOG(ERROR) << "Overlay " << m_description.key << ": " << error.what();
        return false;
    }
    if (m_pointer) {
        m_pointer->setOverlayHandle(m_overlay.getOverlayHandle());
        m_pointer->startPump();
    }
    m_renderer->start();
    return true;
}

void OverlaySurface::forget()
{
    m_overlay.forget();
    if (m_pointer) {
        m_pointer->stopPump();
        m_pointer->setOverlayHandle(vr::k_ulOverlayHandleInvalid);
    }
}
