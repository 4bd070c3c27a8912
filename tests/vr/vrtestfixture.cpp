#include "vrtestfixture.h"

#include "vroverlay.h"

#include <vrsim/control.h>

#include <QQuickItem>
#include <QtTest>

#include <exception>

bool VrTestFixture::open(qreal pageWidth, qreal pageHeight)
{
    if (!m_stateDir.isValid())
        return false;
    qputenv("VRSIM_STATE_DIR", m_stateDir.path().toUtf8());
    qputenv("VRSIM_OVERLAY_VISIBLE", "1");
    qputenv("VRSIM_THUMBNAIL_VISIBLE", "0");
    vrsim::reset();

    m_sizeItem = std::make_unique<QQuickItem>();
    m_sizeItem->setSize(QSizeF(pageWidth, pageHeight));
    m_overlay = std::make_unique<VROverlay>();
    try {
        m_overlay->init();
        m_overlay->open(m_sizeItem.get());
    } catch (const std::exception& error) {
        qWarning("Could not open the overlay: %s", error.what());
        return false;
    }
    return m_overlay->getOverlayHandle() != vr::k_ulOverlayHandleInvalid;
}
