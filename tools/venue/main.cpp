// nerq-venue: the venue's desk command; sets up the broker and the stations' sign-ins.

#include "venuetool.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nerq-venue");
    QCoreApplication::setApplicationVersion(NERQ_VERSION);
    return runVenueTool(QCoreApplication::arguments());
}
