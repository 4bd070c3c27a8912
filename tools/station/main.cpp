#include "stationprogram.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nerq-station");
    QCoreApplication::setApplicationVersion(NERQ_VERSION);
    return runStation(QCoreApplication::arguments());
}
