// Names and English descriptions of the runtime's error codes.
#pragma once

namespace vrsim {

// Every function returns text that stays valid for the life of the process, for any value.
const char* initErrorSymbol(int error);
const char* initErrorDescription(int error);
const char* overlayErrorName(int error);
const char* applicationErrorName(int error);

} // namespace vrsim
