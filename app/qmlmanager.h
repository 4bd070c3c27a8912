#pragma once

#include <QObject>
#include <QString>

#include <string>

class CalibrationManager;
class QQmlEngine;

// Creates the objects the page talks to and publishes them on the engine's root context as
// "launcher", "detector", "game" and "calibration".
class QmlManager : public QObject
{
    Q_OBJECT

public:
    QmlManager();

    // Creates the calibration link. A link whose shared memory could not be opened stays in
    // place and retries on the first request, so this does not fail for that.
    int initialize();
    // Must run before the page is created, so its bindings find all four names.
    int setupContext(QQmlEngine* engine);

    static QString mainPageFile(int language);
    static std::string gameDataFile(int language);

private:
    CalibrationManager* calibration = nullptr;
};
