#pragma once

#include "cataloguestore.h"

#include <QString>
#include <QStringList>

#include <array>

class QDir;
class QTextStream;

// What the commands that edit a catalogue folder by hand share: finding an entry, taking in a
// picture or a launcher the operator names, and saying when the running program shows a change.
namespace CatalogueEdit {

using Language = CatalogueStore::Language;

// "ok", "none" (no imgPath), "missing", or why the file the page would load is no picture.
QString pictureState(const QString& imgPath, const QDir& workingDir);

// The entry listing `gameId`, counted from 0, or -1.
int find(const Catalogue& catalogue, const QString& gameId);

// A game id made from a name: lower case ASCII letters and digits, any other run of characters
// as "_"; "game" when nothing is left.
QString idFromName(const QString& name);

// The program adds new games at its 30-second reload but changes or removes none while it runs.
QString shownAtReload();
QString shownAtStart();

// One change of both catalogues under the folder's lock: opened, changed through store(), then
// finished, which writes it and reports it.
class Session
{
public:
    Session(const QString& catalogueDir, QTextStream& out, QTextStream& err);

    // Locks and reads the folder, and warns of the ways the two catalogues differ.
    bool open(int waitSeconds);
    CatalogueStore& store() { return m_store; }
    // The entry of `gameId` in each catalogue, or -1; false when neither lists it. A game listed
    // by one catalogue only is edited there, with a warning.
    bool locate(const QString& gameId, std::array<int, 2>* at);
    // The launcherPath that makes the program, started in the catalogue folder, find `path`.
    bool launcher(const QString& path, QString* stored);
    // Checks the operator's picture and copies it into game/images/ under a name no entry uses.
    bool importPicture(const QString& file, const QString& gameId, QString* imgPath);
    // Writes what changed and says so: "<what> <the files written>; <when>". Pictures in
    // `replaced` that no entry shows any more are removed once the catalogues are written.
    int finish(const QString& what, const QString& when, const QStringList& replaced = {});
    // Reports the error; nothing was written.
    int fail(const QString& message);

private:
    bool usesPicture(const QString& imgPath) const;
    void removeUnused(const QStringList& imgPaths);

    CatalogueStore m_store;
    QTextStream& m_out;
    QTextStream& m_err;
    QStringList m_imported; // pictures copied by this change, removed again should it fail
};

} // namespace CatalogueEdit
