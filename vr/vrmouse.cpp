#include "vrmouse.h"

#include "nerqoffwindow.h"
#include "vroverlay.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace {

constexpr int kPumpIntervalMs = 20;
constexpr uint32_t kKeyboardBufferSize = 1024;
// One unit of the runtime's scroll value is one full wheel turn, in eighths of a degree.
constexpr float kDegreesPerTurn = 360.0f;
constexpr float kEighthsPerDegree = 8.0f;

// Truncation toward zero. The runtime's floats are not trusted: a NaN or a value beyond int
// would make the conversion undefined, so such events are dropped.
std::optional<int> truncated(float value)
{
    if (!std::isfinite(value) || value >= 2147483648.0f || value < -2147483648.0f)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<QPoint> pointerPosition(const vr::VREvent_Mouse_t& mouse)
{
    const std::optional<int> x = truncated(mouse.x);
    const std::optional<int> y = truncated(mouse.y);
    if (!x || !y) {
        LOG(ERROR) << "Dropping a pointer event with an unusable position (" << mouse.x << ", " << mouse.y << ")";
        return std::nullopt;
    }
    return QPoint(*x, *y);
}

Qt::MouseButton mappedButton(uint32_t button)
{
    return button == vr::VRMouseButton_Right ? Qt::RightButton : Qt::LeftButton;
}

} // namespace

QPoint VRMouse::lastPosition;
Qt::MouseButtons VRMouse::pressedButtons;

VRMouse::VRMouse(VROverlay* overlay, NerqOffWindow* renderer, bool systemEvents)
    : VRMouse(overlay->getOverlayHandle(), renderer, systemEvents)
{}

VRMouse::VRMouse(vr::VROverlayHandle_t overlay, NerqOffWindow* renderer, bool systemEvents)
    : overlayHandle(overlay)
    , window(renderer->quickWindow())
    , useSystemEvents(systemEvents)
{
    connect(this, &VRMouse::mousePositionChange, renderer, &NerqOffWindow::start);
}

VRMouse::~VRMouse()
{
    if (pumpTimer && pumpTimer->isActive())
        pumpTimer->stop();
    pumpTimer.reset();
    window.reset();
}

int VRMouse::initPumpTimer()
{
    pumpTimer = std::make_unique<QTimer>();
    pumpTimer->setInterval(kPumpIntervalMs);
    pumpTimer->setSingleShot(false);
    connect(pumpTimer.get(), &QTimer::timeout, this, &VRMouse::OnTimeoutPumpEvents);
    return 0;
}

int VRMouse::startPump()
{
    if (!pumpTimer || pumpTimer->isActive())
        return -1;
    pumpTimer->start();
    return 0;
}

void VRMouse::stopPump()
{
    if (pumpTimer)
        pumpTimer->stop();
}

void VRMouse::resetPumpState()
{
    lastPosition = QPoint();
    pressedButtons = Qt::NoButton;
}

void VRMouse::OnTimeoutPumpEvents()
{
    if (!vr::VRSystem())
        return;

    for (;;) {
        vr::VREvent_t event{};
        // The record's size differs between platforms (40 bytes on Windows, 36 elsewhere);
        // a literal here would let the runtime write past the record.
        bool polled = false;
        if (useSystemEvents) {
            polled = vr::VRSystem()->PollNextEvent(&event, sizeof(vr::VREvent_t));
        } else if (vr::IVROverlay* overlay = vr::VROverlay()) {
            polled = overlay->PollNextOverlayEvent(overlayHandle, &event, sizeof(vr::VREvent_t));
        }
        if (!polled || !handleEvent(event))
            return;
    }
}

bool VRMouse::handleEvent(const vr::VREvent_t& event)
{
    switch (event.eventType) {
    case vr::VREvent_MouseMove: {
        const std::optional<QPoint> position = pointerPosition(event.data.mouse);
        if (!position || *position == lastPosition)
            break;
        lastPosition = *position;
        sendMouseEvent(QEvent::MouseMove, *position, Qt::NoButton);
        emit mousePositionChange();
        break;
    }
    case vr::VREvent_MouseButtonDown:
    case vr::VREvent_MouseButtonUp:
        sendButtonEvent(event.data.mouse, event.eventType == vr::VREvent_MouseButtonDown);
        break;
    case vr::VREvent_Scroll:
        sendWheelEvent(event.data.scroll);
        break;
    case vr::VREvent_OverlayShown:
        if (window)
            window->update();
        emit overlayShown();
        break;
    case vr::VREvent_OverlayHidden:
        emit overlayHidden();
        break;
    case vr::VREvent_Quit:
        quit();
        return false;
    case vr::VREvent_KeyboardDone:
        reportKeyboardText(event.data.keyboard.uUserValue);
        break;
    default:
        break;
    }
    return true;
}

// Press and release carry their own position but leave lastPosition alone.
void VRMouse::sendButtonEvent(const vr::VREvent_Mouse_t& mouse, bool pressed)
{
    const std::optional<QPoint> position = pointerPosition(mouse);
    if (!position)
        return;
    const Qt::MouseButton button = mappedButton(mouse.button);
    if (pressed)
        pressedButtons |= button;
    else
        pressedButtons &= ~Qt::MouseButtons(button);
    sendMouseEvent(pressed ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, *position, button);
}

void VRMouse::sendMouseEvent(QEvent::Type type, const QPoint& position, Qt::MouseButton button)
{
    if (!window)
        return;
    QMouseEvent mouseEvent(type, position, window->mapToGlobal(position), button, pressedButtons, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &mouseEvent);
}

void VRMouse::sendWheelEvent(const vr::VREvent_Scroll_t& scroll)
{
    // Float arithmetic, first the degrees and then the eighths, as the runtime's value is float.
    const std::optional<int> angleX = truncated(scroll.xdelta * kDegreesPerTurn * kEighthsPerDegree);
    const std::optional<int> angleY = truncated(scroll.ydelta * kDegreesPerTurn * kEighthsPerDegree);
    if (!angleX || !angleY) {
        LOG(ERROR) << "Dropping a scroll event with an unusable delta (" << scroll.xdelta << ", " << scroll.ydelta
                   << ")";
        return;
    }
    if (!window)
        return;
    // The legacy delta stays 0 and vertical: the page reads only the angle delta.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QWheelEvent wheelEvent(lastPosition, window->mapToGlobal(lastPosition), QPoint(0, 0), QPoint(*angleX, *angleY), 0,
                           Qt::Vertical, pressedButtons, Qt::NoModifier);
    QT_WARNING_POP
    QCoreApplication::sendEvent(window.get(), &wheelEvent);
}

void VRMouse::quit()
{
    vr::VRSystem()->AcknowledgeQuit_Exiting();
    if (!exitOnQuit) {
        if (pumpTimer)
            pumpTimer->stop();
        emit quitRequested();
        return;
    }
    if (pumpTimer) {
        pumpTimer->stop();
        // We may be inside the timer's own timeout: the event loop deletes it once the signal
        // has returned. The field is empty from now on, so the pump cannot be started again.
        pumpTimer.release()->deleteLater();
    }
    QCoreApplication::exit(0);
}

void VRMouse::reportKeyboardText(uint64_t userValue)
{
    vr::IVROverlay* overlay = vr::VROverlay();
    if (!overlay)
        return;
    char buffer[kKeyboardBufferSize] = {};
    overlay->GetKeyboardText(buffer, kKeyboardBufferSize);
    // Up to the first zero, but never past the buffer even if the runtime left it unterminated.
    const QString text = QString::fromUtf8(buffer, static_cast<int>(strnlen(buffer, kKeyboardBufferSize)));
    emit keyBoardInputSignal(text, static_cast<unsigned long>(userValue & 0xffffffffu));
}
