#include "registryprobe.h"

#include <openvr.h>
#include <vrsim/control.h>

#include <QDir>

namespace RegistryProbe {

namespace {
constexpr const char* kKey = "nerqvr.vrplatform";
}

bool connect()
{
    vrsim::reset();
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_Init(&error, vr::VRApplication_Utility);
    return error == vr::VRInitError_None && vr::VRApplications();
}

bool isInstalled()
{
    return vr::VRApplications()->IsApplicationInstalled(kKey);
}

bool isRegistered(const QString& manifest)
{
    const QByteArray native = QDir::toNativeSeparators(manifest).toUtf8();
    if (vr::VRApplications()->RemoveApplicationManifest(native.constData()) != vr::VRApplicationError_None)
        return false;
    vr::VRApplications()->AddApplicationManifest(native.constData());
    return true;
}

QString workingDirectory()
{
    char buffer[1024] = {};
    vr::EVRApplicationError error = vr::VRApplicationError_None;
    vr::VRApplications()->GetApplicationPropertyString(kKey, vr::VRApplicationProperty_WorkingDirectory_String, buffer,
                                                       sizeof buffer, &error);
    return error == vr::VRApplicationError_None ? QDir::fromNativeSeparators(QString::fromUtf8(buffer)) : QString();
}

QString quoted(const QString& path)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

QStringList callsOf(const QStringList& lines, const QString& call)
{
    QStringList found;
    for (const QString& line : lines)
        if (line.startsWith(call + QLatin1Char(' ')))
            found.append(line);
    return found;
}

} // namespace RegistryProbe
