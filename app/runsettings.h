#pragma once

#include <cstdint>

// Process-wide run settings, written once by the command-line pass and read-only afterwards.
enum Language : std::int32_t {
    Chinese = 0,
    English = 1,
};

// true: the page goes into an ordinary window and no VR runtime is used.
extern bool desktop;
// Chooses the page and the game catalogue.
extern Language language;
