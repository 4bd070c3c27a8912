// nerq-catalogue: turns the installed Steam library into the game catalogues, and checks a
// catalogue the way the program reads it.

#include "cataloguetool.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nerq-catalogue");
    QCoreApplication::setApplicationVersion(NERQ_VERSION);
    return runCatalogueTool(QCoreApplication::arguments());
}
