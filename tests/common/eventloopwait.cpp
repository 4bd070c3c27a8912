#include "eventloopwait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool waitUntil(const std::function<bool()>& done, int msecs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < msecs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return done();
}
