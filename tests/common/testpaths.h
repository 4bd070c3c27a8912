#pragma once

#include <QString>

// Where the build put things; set by CTest for every test.
namespace TestPaths {
QString runtimeDir();              // the directory of the NerqVRPlatform executable, with res/, game/, log.conf
QString sourceDir();               // the source tree
QString executable();              // the NerqVRPlatform executable
QString tool(const QString& name); // a helper program built from tools/
} // namespace TestPaths
