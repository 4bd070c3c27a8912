// A second process for the cross-process tests: makes one runtime call and prints the result.
//   vrsim_probe hold <key>              create a dashboard overlay, keep it until stdin closes
//   vrsim_probe add|remove <manifest>   register / unregister a manifest
//   vrsim_probe installed <key>
//   vrsim_probe workdir <key> <size>    working directory into a buffer of <size> bytes
//   vrsim_probe autolaunch <key> 0|1
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <openvr.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: vrsim_probe hold|add|remove|installed|workdir|autolaunch ...\n");
    return 2;
}

int hold(const char* key)
{
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_Init(&error, vr::VRApplication_Overlay);
    if (error != vr::VRInitError_None) {
        std::printf("init %d\n", error);
        return 1;
    }
    vr::VROverlayHandle_t mainHandle = 0;
    vr::VROverlayHandle_t thumb = 0;
    const vr::EVROverlayError result = vr::VROverlay()->CreateDashboardOverlay(key, "probe", &mainHandle, &thumb);
    std::printf("create %d\n", result);
    std::fflush(stdout);
    if (result == vr::VROverlayError_None) {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
    }
    return 0;
}

int application(const std::vector<std::string>& args)
{
    vr::EVRInitError error = vr::VRInitError_None;
    vr::VR_Init(&error, vr::VRApplication_Utility);
    if (error != vr::VRInitError_None) {
        std::printf("init %d\n", error);
        return 1;
    }
    vr::IVRApplications* apps = vr::VRApplications();
    const std::string& command = args[0];
    const char* arg = args[1].c_str();
    if (command == "add") {
        std::printf("add %d\n", apps->AddApplicationManifest(arg));
    } else if (command == "remove") {
        std::printf("remove %d\n", apps->RemoveApplicationManifest(arg));
    } else if (command == "installed") {
        std::printf("installed %d\n", apps->IsApplicationInstalled(arg) ? 1 : 0);
    } else if (command == "workdir" && args.size() == 3) {
        std::vector<char> buffer(static_cast<size_t>(std::atoi(args[2].c_str())) + 1, '\0');
        vr::EVRApplicationError result = vr::VRApplicationError_None;
        const uint32_t size =
            apps->GetApplicationPropertyString(arg, vr::VRApplicationProperty_WorkingDirectory_String, buffer.data(),
                                               static_cast<uint32_t>(buffer.size() - 1), &result);
        std::printf("workdir error=%d size=%u value=%s\n", result, size, buffer.data());
    } else if (command == "autolaunch" && args.size() == 3) {
        std::printf("autolaunch %d\n", apps->SetApplicationAutoLaunch(arg, args[2] == "1"));
    } else {
        vr::VR_Shutdown();
        return usage();
    }
    vr::VR_Shutdown();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    if (std::strcmp(argv[1], "hold") == 0)
        return hold(argv[2]);
    return application(std::vector<std::string>(argv + 1, argv + argc));
}
