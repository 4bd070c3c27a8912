#include "manifestregistration.h"

#include <openvr.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <stdexcept>
#include <string>

namespace {

constexpr const char* kAppKey = "nerqvr.vrplatform";
constexpr const char* kManifestName = "manifest.vrmanifest";
constexpr uint32_t kWorkingDirBufferSize = 1024;

QString manifestPathIn(const QString& directory)
{
    return QDir::cleanPath(QDir(directory).absoluteFilePath(QString::fromLatin1(kManifestName)));
}

// The runtime takes paths with the platform's separators, as UTF-8.
QByteArray forRuntime(const QString& path)
{
    return QDir::toNativeSeparators(path).toUtf8();
}

QString checkedManifestPath()
{
    const QString path = manifestPathIn(QCoreApplication::applicationDirPath());
    if (!QFile::exists(path))
        throw std::runtime_error("Could not find application manifest: " + path.toStdString());
    return path;
}

vr::IVRApplications& applications()
{
    vr::IVRApplications* apps = vr::VRApplications();
    if (!apps)
        throw std::runtime_error("The VR runtime offers no applications interface");
    return *apps;
}

// A registration made from another directory (the program has moved) would keep pointing the
// runtime at the old copy; drop it first. Paths differing only in letter case are the same
// place on the product's home platform.
void removeRegistrationElsewhere(vr::IVRApplications& apps, const QString& currentPath)
{
    char workingDir[kWorkingDirBufferSize] = {};
    vr::EVRApplicationError error = vr::VRApplicationError_None;
    apps.GetApplicationPropertyString(kAppKey, vr::VRApplicationProperty_WorkingDirectory_String, workingDir,
                                      kWorkingDirBufferSize, &error);
    if (error != vr::VRApplicationError_None)
        return;
    workingDir[kWorkingDirBufferSize - 1] = '\0';

    const QString earlierPath = manifestPathIn(QString::fromUtf8(workingDir));
    if (earlierPath.compare(currentPath, Qt::CaseInsensitive) != 0)
        apps.RemoveApplicationManifest(forRuntime(earlierPath).constData());
}

} // namespace

void installManifest()
{
    const QString manifestPath = checkedManifestPath();
    vr::IVRApplications& apps = applications();

    if (apps.IsApplicationInstalled(kAppKey))
        removeRegistrationElsewhere(apps, manifestPath);

    vr::EVRApplicationError error = apps.AddApplicationManifest(forRuntime(manifestPath).constData(), false);
    if (error != vr::VRApplicationError_None)
        throw std::runtime_error(std::string("Could not add application manifest: ")
                                 + apps.GetApplicationsErrorNameFromEnum(error));

    error = apps.SetApplicationAutoLaunch(kAppKey, true);
    if (error != vr::VRApplicationError_None)
        throw std::runtime_error(std::string("Could not set auto start: ")
                                 + apps.GetApplicationsErrorNameFromEnum(error));
}

void removeManifest()
{
    const QString manifestPath = checkedManifestPath();
    vr::IVRApplications& apps = applications();

    if (apps.IsApplicationInstalled(kAppKey))
        apps.RemoveApplicationManifest(forRuntime(manifestPath).constData());
}
