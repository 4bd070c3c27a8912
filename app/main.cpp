// The program's entry: logging, options, the device link, the page, and its presentation in a
// desktop window or in the VR dashboard.

#include "commandline.h"
#include "fontsubstitutes.h"
#include "lifecyclemanager.h"
#include "presentation.h"
#include "qmlmanager.h"
#include "runsettings.h"
#include "sharedmemory.h"

#include <easylogging++.h>

#include <QApplication>
#include <QFile>
#include <QList>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickItem>
#include <QUrl>

#include <exception>
#include <memory>
#include <string>

namespace {

constexpr const char* kLogConfiguration = "log.conf";

// "%src" in a log format: the source file of the record without directory or extension.
std::string sourceName(const el::LogMessage* message)
{
    const std::string& path = message->file();
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    return name.substr(0, name.find('.'));
}

// Without the file every setting keeps the logging library's default.
void configureLogging(el::Configurations& configuration)
{
    el::Helpers::installCustomFormatSpecifier(el::CustomFormatSpecifier("%src", sourceName));
    if (!QFile::exists(QString::fromLatin1(kLogConfiguration)))
        return;
    configuration.parseFromFile(kLogConfiguration);
    el::Loggers::reconfigureAllLoggers(configuration);
}

} // namespace

int main(int argc, char* argv[])
{
    el::Configurations logConfiguration;
    configureLogging(logConfiguration);

    try {
        parseCommandLine(argc, argv);

        QApplication app(argc, argv);
        installFontSubstitutes();

        // The service can end us through this block; without it we could never be stopped by
        // the device, so running on would be worse than stopping here.
        // Both live until main returns, after the event loop.
        auto lifeCycle = std::make_unique<LifeCycleManager>();
        try {
            lifeCycle->start();
        } catch (int) {
            LOG(ERROR) << "Could not open the quit-flag shared memory block \"NerqVRPlatform\", "
                       << "error is " << lastSystemError();
            return -1;
        }

        auto qmlManager = std::make_unique<QmlManager>();
        const int status = qmlManager->initialize();
        if (status != 0) {
            LOG(ERROR) << "QmlManager Initialize Error: " << status;
            return 0;
        }

        QQmlEngine engine;
        qmlManager->setupContext(&engine);

        QQmlComponent component(&engine, QUrl::fromLocalFile(QmlManager::mainPageFile(language)));
        const QList<QQmlError> errors = component.errors();
        for (const QQmlError& error : errors)
            LOG(ERROR) << "QML Error: " << error.toString().toStdString();
        if (!errors.isEmpty())
            return 0;

        QObject* rootObject = component.create();
        auto* rootItem = qobject_cast<QQuickItem*>(rootObject);
        if (!rootItem) {
            LOG(ERROR) << "The page's root object " << (rootObject ? "is not a QQuickItem" : "could not be created")
                       << "; nothing to show";
            return -1;
        }

        if (desktop)
            showInDesktopWindow(rootItem);
        else
            showInVrDashboard(rootItem);

        return app.exec();
    } catch (const std::exception& e) {
        // The VR runtime may have started us with nobody to read the message box; the log is
        // all an operator has afterwards.
        LOG(ERROR) << "Start-up failed: " << e.what();
        return -1;
    }
}
