#include "config.h"

#include <QDir>

namespace vrsim {

std::string defaultStateDir()
{
    return (QDir::tempPath() + QStringLiteral("/vrsim")).toStdString();
}

} // namespace vrsim
