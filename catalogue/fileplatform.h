#pragma once

#include <QString>

class QFile;

// What writing a user's files safely needs beyond Qt: a sync and a rename that report their
// failures with the system's reason, and new files that belong to whom the old ones did.
namespace FilePlatform {

// Pushes the open file's data to the disk.
bool sync(QFile& file, QString* error);

// Gives the open file the mode and owner of `like` when that exists; otherwise `newMode` (when
// not negative; else the mode a new file gets) and the owner of `folder`. An owner is only
// changed where the process may (root), so a run as root leaves a user's files the user's.
bool settle(QFile& file, const QString& like, const QString& folder, int newMode, QString* error);

// Hands a folder the tool created to the owner of `parent`, for the same reason.
bool settleFolder(const QString& folder, const QString& parent, QString* error);

// Puts `from` in the place of `to` in one step, replacing it.
bool replace(const QString& from, const QString& to, QString* error);

// Whether the owner of `folder` may read `file`: a run as root copies nothing that the user whose
// folder it fills could not read.
bool ownerOfMayRead(const QString& folder, const QString& file);

} // namespace FilePlatform
