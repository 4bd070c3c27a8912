#include "maintenance.h"

#include "manifestregistration.h"

#include <openvr.h>

#include <QCoreApplication>

#include <cstdlib>
#include <exception>
#include <iostream>

void runMaintenanceAndExit(MaintenanceAction action, int& argc, char* argv[])
{
    // Knows the executable's directory, where the manifest lies. Never destroyed: the process
    // ends below.
    new QCoreApplication(argc, argv);

    int exitCode = 0;
    vr::EVRInitError initError = vr::VRInitError_None;
    vr::VR_Init(&initError, vr::VRApplication_Utility);
    if (initError != vr::VRInitError_None) {
        std::cerr << "Failed to initialize OpenVR: " << vr::VR_GetVRInitErrorAsEnglishDescription(initError)
                  << std::endl;
        exitCode = -2;
    } else {
        try {
            if (action == MaintenanceAction::InstallManifest)
                installManifest();
            else
                removeManifest();
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            exitCode = -1;
        }
    }

    vr::VR_Shutdown();
    std::exit(exitCode);
}
