#include "runtimeconnection.h"

#include "vroverlay.h"

#include <easylogging++.h>

#include <openvr.h>

RuntimeConnection::RuntimeConnection(QObject* parent)
    : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &RuntimeConnection::tryConnect);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &RuntimeConnection::poll);
}

void RuntimeConnection::start()
{
    tryConnect();
}

void RuntimeConnection::tryConnect()
{
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_Init(&error, vr::VRApplication_Background);
    QString problem;
    if (error != vr::VRInitError_None)
        problem = QString::fromUtf8(vr::VR_GetVRInitErrorAsEnglishDescription(error));
    else if (const char* missing = VROverlay::missingInterfaceVersion())
        problem = QString("the runtime lacks %1").arg(missing);
    else if (!vr::VROverlay() || !vr::VRApplications())
        problem = QStringLiteral("the runtime offers no overlays");
    if (!problem.isEmpty()) {
        if (error == vr::VRInitError_None)
            vr::VR_Shutdown();
        if (!m_reported)
            LOG(WARNING) << "VR runtime: none (" << problem.toStdString() << "); trying again every " << kRetryMs / 1000
                         << " s";
        m_reported = true;
        m_retry.start();
        return;
    }
    LOG(INFO) << "VR runtime: connected";
    m_reported = false;
    m_connected = true;
    m_sceneProcess = vr::VRApplications()->GetCurrentSceneProcessId();
    m_poll.start();
    emit connected();
    emit runtimeChanged(runtime());
}

void RuntimeConnection::letGo(const QString& reason)
{
    if (!m_connected)
        return;
    LOG(WARNING) << "VR runtime: " << reason.toStdString() << "; trying again every " << kRetryMs / 1000 << " s";
    m_reported = true;
    m_poll.stop();
    vr::VR_Shutdown();
    m_connected = false;
    m_sceneProcess = 0;
    emit disconnected();
    emit runtimeChanged(runtime());
    m_retry.start();
}

void RuntimeConnection::poll()
{
    vr::IVRSystem* system = vr::VRSystem();
    if (!system)
        return;
    vr::VREvent_t event{};
    // The record's size differs between platforms; never a literal.
    while (m_connected && system->PollNextEvent(&event, sizeof(vr::VREvent_t))) {
        switch (event.eventType) {
        case vr::VREvent_Quit:
            system->AcknowledgeQuit_Exiting();
            letGo("the runtime is stopping");
            return;
        case vr::VREvent_SceneApplicationChanged:
        case vr::VREvent_ProcessQuit:
            readSceneProcess();
            break;
        default:
            break;
        }
    }
}

void RuntimeConnection::readSceneProcess()
{
    // Asked rather than taken from the event: the runtime's word now is what counts.
    const quint32 pid = vr::VRApplications()->GetCurrentSceneProcessId();
    if (pid == m_sceneProcess)
        return;
    m_sceneProcess = pid;
    LOG(INFO) << "VR runtime: scene process " << pid;
    emit runtimeChanged(runtime());
}
