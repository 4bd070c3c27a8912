#include "testpaths.h"

#include <QDir>
#include <QtGlobal>

namespace TestPaths {

static QString fromEnv(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set; run the tests through ctest", name);
    return value;
}

QString runtimeDir()
{
    return fromEnv("NERQ_RUNTIME_DIR");
}
QString sourceDir()
{
    return fromEnv("NERQ_SOURCE_DIR");
}
QString executable()
{
    return QDir(runtimeDir()).filePath("NerqVRPlatform");
}
QString tool(const QString& name)
{
    return QDir(fromEnv("NERQ_TOOLS_DIR")).filePath(name);
}

} // namespace TestPaths
