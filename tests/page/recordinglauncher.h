#pragma once

#include <QObject>
#include <QStringList>

// Takes the launcher's place on the page: records which game ids the tiles asked for.
class RecordingLauncher : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE int launcherGame(const QString& game_path)
    {
        requested << game_path;
        return 0;
    }

    QStringList requested;
};
