#pragma once

#include <QByteArray>
#include <QString>

// Whether bytes or a file can be a tile's picture: they must decode as an image of a sane size,
// as the page's image loader would decode them.
namespace Picture {

// Steam's largest pictures (heroes) are a few megabytes.
constexpr qint64 kMaxBytes = 32 * 1024 * 1024;

// How far to look: decode the whole picture, or only its header (format and size), which is
// enough to tell an empty or foreign file from a picture and costs next to nothing.
enum class Check { Decode, Header };

// Why `data` is no picture, or empty when it is one; `suffix` then gets the file name ending of
// its format ("jpg", "png"), whatever name it came under.
QString problem(const QByteArray& data, QString* suffix = nullptr, Check check = Check::Decode);

// The same for a file; also missing, not a file, empty or too large.
QString fileProblem(const QString& path, Check check = Check::Decode);

} // namespace Picture
