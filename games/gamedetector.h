#pragma once

#include "cataloguereader.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class GameModel;
class QTimer;
namespace Json {
class Value;
} // namespace Json

// Reads the game catalogue and offers every entry to the model, at start-up and then every
// 30 seconds, so games added to the file show up without a restart. Re-reading only adds.
class GameDetector : public QObject
{
    Q_OBJECT

public:
    // Yields the catalogue's path; asked afresh at every load because the language decides it.
    using CatalogueFile = std::function<std::string()>;

    GameDetector(std::shared_ptr<GameModel> model, CatalogueFile catalogueFile);
    ~GameDetector() override;

    int initReloadTimer();
    int startReloadTimer();

public slots:
    void LoadGameData();

private:
    void addEntry(Json::Value& entry);

    CatalogueReader jsonReader;
    std::unique_ptr<QTimer> reloadTimer;
    std::shared_ptr<GameModel> gameModel;
    CatalogueFile catalogueFile;
};
