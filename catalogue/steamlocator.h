#pragma once

#include <QStringList>

// Where Steam is installed on this machine.
class SteamLocator
{
public:
    // The places Steam puts itself on this platform, most trusted first; some may not exist.
    static QStringList candidates();

    // The Steam folders among `paths`: those holding a steamapps folder, with symlinks
    // resolved and each folder counted once, in the order given.
    static QStringList resolve(const QStringList& paths);
};
