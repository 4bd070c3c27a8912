#include "qmlmanager.h"

#include "calibrationmanager.h"
#include "gamedetector.h"
#include "gamelauncher.h"
#include "gamemodel.h"
#include "runsettings.h"

#include <QQmlContext>
#include <QQmlEngine>

#include <memory>

namespace {

// Relative on purpose: both resolve against the working directory, not the executable's.
#ifdef _WIN32
constexpr const char* kCatalogueCn = ".\\game\\data_cn.json";
constexpr const char* kCatalogueEn = ".\\game\\data_en.json";
#else
constexpr const char* kCatalogueCn = "./game/data_cn.json";
constexpr const char* kCatalogueEn = "./game/data_en.json";
#endif

} // namespace

QmlManager::QmlManager() = default;

int QmlManager::initialize()
{
    calibration = new CalibrationManager();
    calibration->initialize();
    return 0;
}

int QmlManager::setupContext(QQmlEngine* engine)
{
    QQmlContext* context = engine->rootContext();

    // These live until the process ends; the context refers to them without owning them.
    auto model = std::make_shared<GameModel>();
    auto* detector = new GameDetector(model, [] { return gameDataFile(language); });
    detector->LoadGameData();
    detector->initReloadTimer();
    detector->startReloadTimer();
    auto* launcher = new GameLauncher(model);

    context->setContextProperty(QStringLiteral("launcher"), launcher);
    context->setContextProperty(QStringLiteral("detector"), detector);
    context->setContextProperty(QStringLiteral("game"), model.get());
    context->setContextProperty(QStringLiteral("calibration"), calibration);
    return 0;
}

QString QmlManager::mainPageFile(int lang)
{
    return lang == English ? QStringLiteral("res/main_widget_en.qml") : QStringLiteral("res/main_widget_cn.qml");
}

std::string QmlManager::gameDataFile(int lang)
{
    return lang == English ? kCatalogueEn : kCatalogueCn;
}
