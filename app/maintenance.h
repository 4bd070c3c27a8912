#pragma once

enum class MaintenanceAction {
    InstallManifest,
    RemoveManifest,
};

// Registers or unregisters the program with the VR runtime, reports on standard error, and
// ends the process: 0 on success, -1 when the registration failed, -2 without a runtime.
[[noreturn]] void runMaintenanceAndExit(MaintenanceAction action, int& argc, char* argv[]);
