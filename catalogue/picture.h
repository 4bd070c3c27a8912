#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QDir;

// Whether bytes or a file can be a tile's picture: they must decode as an image of a sane size,
// as the page's image loader would decode them.
namespace Picture {

// Steam's largest pictures (heroes) are a few megabytes.
constexpr qint64 kMaxBytes = 32 * 1024 * 1024;

// How a catalogue names a picture copied into game/images/: imgPath is resolved from res/.
constexpr char kImagePrefix[] = "../game/images/";

// A URL with a scheme (http:, qrc:, steam:) is not a file here; one-letter schemes are drives.
bool isUrl(const QString& path);
// Where the page, run in `workingDir`, finds a picture: relative to its own folder res/, or a
// file: URL; empty for other URLs.
QString pageFile(const QString& imgPath, const QDir& workingDir);

// The file directly in game/images/ that an imgPath names, or empty when it names something else.
QString copyName(const QString& imgPath);

// The start of the name a game's copied picture gets: the gameId itself when it is a safe file
// name on Linux and on Windows, else the gameId with every unsafe character as "_" (a gameId of a
// damaged catalogue may hold NUL, bytes that are not UTF-8, "/", "\\" or ".."). Never empty.
QString fileStem(const QString& gameId);

// How far to look: decode the whole picture, or only its header (format and size), which is
// enough to tell an empty or foreign file from a picture and costs next to nothing.
enum class Check { Decode, Header };

// Why `data` is no picture, or empty when it is one; `suffix` then gets the file name ending of
// its format ("jpg", "png"), whatever name it came under.
QString problem(const QByteArray& data, QString* suffix = nullptr, Check check = Check::Decode);

// The same for a file; also missing, not a file, empty or too large.
QString fileProblem(const QString& path, Check check = Check::Decode);

// Reads a picture from outside (only from inside `trees` when given) and checks it by decoding.
// Why it cannot be used, or empty when `data` and `suffix` hold it.
QString load(const QString& path, const QStringList& trees, QByteArray* data, QString* suffix);

// Writes a picture into place (game/images/ made when missing) without a half-written file ever
// standing there. Without `sync` a crash of the machine may lose it; fit for what a scan remakes.
bool save(const QString& path, const QByteArray& data, bool sync, QString* error);

} // namespace Picture
