#pragma once

#include "gameitem.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

// The games the page's grid shows. Rows only ever grow; the model owns its items.
class GameModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum GameRoles {
        NameRole = Qt::UserRole + 1,
        ImgPathRole,
        IsNativeRole,
        GameIdRole,
    };

    explicit GameModel(QObject* parent = nullptr);
    ~GameModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Takes over the item. An item whose game id is already listed is destroyed at once.
    void addGame(GameItem* item);
    // The first item with exactly this game id (case-sensitive), or nullptr. The model keeps it.
    GameItem* findGame(const QString& gameId) const;

private:
    QList<GameItem*> m_items;
    // Game id to its item, so that a reload of a large catalogue does not scan the list once per
    // entry. Holds exactly the ids of m_items; each id's first item, as the list is append-only.
    QHash<QString, GameItem*> m_byId;
};
