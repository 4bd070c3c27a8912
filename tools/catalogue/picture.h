#pragma once

#include <QByteArray>
#include <QString>

// Whether bytes or a file can be a tile's picture: they must decode as an image of a sane size,
// as the page's image loader would decode them.
namespace Picture {

// Steam's largest pictures (heroes) are a few megabytes.
constexpr qint64 kMaxBytes = 32 * 1024 * 1024;

// How a catalogue names a picture copied into game/images/: imgPath is resolved from res/.
constexpr char kImagePrefix[] = "../game/images/";

// The file directly in game/images/ that an imgPath names, or empty when it names something else.
QString copyName(const QString& imgPath);

// How far to look: decode the whole picture, or only its header (format and size), which is
// enough to tell an empty or foreign file from a picture and costs next to nothing.
enum class Check { Decode, Header };

// Why `data` is no picture, or empty when it is one; `suffix` then gets the file name ending of
// its format ("jpg", "png"), whatever name it came under.
QString problem(const QByteArray& data, QString* suffix = nullptr, Check check = Check::Decode);

// The same for a file; also missing, not a file, empty or too large.
QString fileProblem(const QString& path, Check check = Check::Decode);

} // namespace Picture
