#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class CatalogueCommandLine;
class QTextStream;

struct SetOptions {
    QString catalogueDir;
    QString gameId;
    std::optional<QString> name;   // the English catalogue's gameName
    std::optional<QString> nameCn; // the Chinese catalogue's gameName
    std::optional<int> mode;
    std::optional<QString> image;    // a new picture, copied into game/images/
    std::optional<QString> launcher; // makes the game a native one started by it
    int waitSeconds = 5;
};

// Changes one game's values in both catalogues. Returns 0 when done (or nothing differed), 1
// when the data forbids it and nothing changed.
int runSet(const SetOptions& options, QTextStream& out, QTextStream& err);

// nerq-catalogue set: parses the command's own options, then changes; returns the exit status (2 for
// a usage error).
int setCommand(CatalogueCommandLine& cli, const QStringList& arguments);
