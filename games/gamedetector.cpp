#include "gamedetector.h"

#include "gameitem.h"
#include "gamemodel.h"

#include <easylogging++.h>
#include <json/json.h>

#include <QTimer>

#include <stdexcept>
#include <utility>

namespace {

constexpr int kReloadIntervalMs = 30000;

} // namespace

GameDetector::GameDetector(std::shared_ptr<GameModel> model, CatalogueFile catalogueFileFn)
    : gameModel(std::move(model))
    , catalogueFile(std::move(catalogueFileFn))
{}

GameDetector::~GameDetector() = default;

int GameDetector::initReloadTimer()
{
    reloadTimer = std::make_unique<QTimer>();
    reloadTimer->setInterval(kReloadIntervalMs);
    reloadTimer->setSingleShot(false);
    connect(reloadTimer.get(), &QTimer::timeout, this, &GameDetector::LoadGameData);
    return 0;
}

int GameDetector::startReloadTimer()
{
    if (reloadTimer)
        reloadTimer->start();
    return 0;
}

void GameDetector::LoadGameData()
{
    Json::Value root;
    if (!jsonReader.parse(CatalogueReader::readFile(catalogueFile()), root)) {
        LOG(ERROR) << "Parse json file failed, invalid json file!";
        return;
    }
    // The size is asked again before each entry, as a list that changes size mid-pass would need.
    for (Json::ArrayIndex i = 0; i < root.size(); ++i) {
        try {
            addEntry(root[i]);
        } catch (const std::exception& e) {
            LOG(ERROR) << "Parse json file failed, error is " << e.what();
        }
    }
}

void GameDetector::addEntry(Json::Value& entry)
{
    gameModel->addGame(CatalogueReader::readEntry(entry).release());
}
