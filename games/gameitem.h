#pragma once

#include <QObject>
#include <QString>

// One game of the catalogue. Values are set once by the loader and never change afterwards.
class GameItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ gameName)
    Q_PROPERTY(QString img_path READ imgPath)
    Q_PROPERTY(bool is_native READ isNative)

public:
    explicit GameItem(QObject* parent = nullptr);

    void setGameInfo(QString gameId, QString gameName, QString imgPath, bool isNative, QString launcherPath,
                     int steamGameId, int gameMode);

    QString gameId() const { return m_gameId; }
    QString gameName() const { return m_gameName; }
    QString imgPath() const { return m_imgPath; }
    bool isNative() const { return m_isNative; }
    QString launcherPath() const { return m_launcherPath; }
    int steamGameId() const { return m_steamGameId; }
    int gameMode() const { return m_gameMode; }

    // Launching is the launcher's business; the page never calls this.
    Q_INVOKABLE int launcherGame() { return 0; }

private:
    QString m_gameId;
    QString m_gameName;
    QString m_imgPath;
    bool m_isNative = false;
    QString m_launcherPath;
    int m_steamGameId = 0;
    int m_gameMode = 0;
};
