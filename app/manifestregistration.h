#pragma once

// Registration with the VR runtime, so that it can start the program by itself. Both need a
// utility connection to the runtime and a core application object (for the executable's
// directory), and report every failure as std::runtime_error.

// Registers "manifest.vrmanifest" beside the executable, dropping a registration left behind
// in another directory, and turns auto-launch on.
void installManifest();

// Unregisters the manifest beside the executable, if the program is registered at all.
void removeManifest();
