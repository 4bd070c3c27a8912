#include "gamemodel.h"

#include <iostream>

GameModel::GameModel(QObject* parent)
    : QAbstractListModel(parent)
{}

GameModel::~GameModel()
{
    qDeleteAll(m_items);
}

int GameModel::rowCount(const QModelIndex&) const
{
    return m_items.size();
}

QVariant GameModel::data(const QModelIndex& index, int role) const
{
    // The trace lines on standard output let an integrator see what the page asks for.
    const int row = index.row();
    if (row < 0 || row >= m_items.size()) {
        std::cout << "s1\n";
        return {};
    }
    std::cout << "role: " << role << '\n';

    const GameItem* item = m_items.at(row);
    switch (role) {
    case NameRole:
        return item->gameName();
    case ImgPathRole:
        return item->imgPath();
    case IsNativeRole:
        return item->isNative();
    case GameIdRole:
        return item->gameId();
    default:
        return {};
    }
}

QHash<int, QByteArray> GameModel::roleNames() const
{
    return {
        {NameRole, "name"},
        {ImgPathRole, "img_path"},
        {IsNativeRole, "is_native"},
        {GameIdRole, "game_id"},
    };
}

void GameModel::addGame(GameItem* item)
{
    if (findGame(item->gameId())) {
        delete item;
        return;
    }
    const int row = m_items.size();
    beginInsertRows(QModelIndex(), row, row);
    m_items.append(item);
    m_byId.insert(item->gameId(), item);
    endInsertRows();
}

GameItem* GameModel::findGame(const QString& gameId) const
{
    // Exact, case-sensitive comparison, as QString's own equality.
    return m_byId.value(gameId, nullptr);
}
