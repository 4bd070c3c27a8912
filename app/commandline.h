#pragma once

// Reads the options into the run settings. The two maintenance options do their work and end
// the process here; every other argument, including ones meant for Qt, passes unremarked.
void parseCommandLine(int argc, char* argv[]);
