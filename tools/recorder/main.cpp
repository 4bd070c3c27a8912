// nerq-recorder: the venue's books, on the desk PC beside the broker.

#include "recorderprogram.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nerq-recorder");
    QCoreApplication::setApplicationVersion(NERQ_VERSION);
    return runRecorder(QCoreApplication::arguments());
}
