#include "headsetprogram.h"

#include <QCoreApplication>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName("nerq-headset");
    QCoreApplication::setApplicationVersion(NERQ_VERSION);
    // Options and configuration first, without a display: --help and a bad station.conf need none.
    HeadsetSettings settings;
    int status = 0;
    {
        QCoreApplication options(argc, argv);
        status = prepareHeadset(QCoreApplication::arguments(), &settings);
    }
    if (status >= 0)
        return status;
    QGuiApplication app(argc, argv);
    return runHeadset(settings);
}
