#include "picture.h"

#include "safefile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QUrl>
#include <QVector>

namespace {

// A header claiming more pixels than this would make the decoder ask for gigabytes.
constexpr qint64 kMaxPixels = 64 * 1024 * 1024;

// Code points, so that the name stays far below 255 bytes in UTF-8 with its ending and number.
constexpr int kMaxStem = 48;

// Letters and digits of any script, and "-", "_" and "." inside a name: nothing a file system
// refuses, reads as a folder or turns into something else (NUL, controls, "/\\:*?\"<>|", U+FFFD).
bool safeInName(uint c)
{
    return c == '-' || c == '_' || c == '.' || (c > ' ' && QChar::isLetterOrNumber(c));
}

// Windows opens a device for these names, whatever their ending ("nul.jpg" too).
bool reservedOnWindows(const QString& stem)
{
    static const QRegularExpression device("^(con|prn|aux|nul|com[0-9]|lpt[0-9])$",
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(stem.section('.', 0, 0)).hasMatch();
}

} // namespace

bool Picture::isUrl(const QString& path)
{
    return !QFileInfo(path).isAbsolute() && QUrl(path).scheme().size() > 1;
}

QString Picture::pageFile(const QString& imgPath, const QDir& workingDir)
{
    if (QUrl(imgPath).scheme() == "file")
        return QUrl(imgPath).toLocalFile();
    if (isUrl(imgPath))
        return {};
    return QFileInfo(imgPath).isAbsolute() ? imgPath : QDir::cleanPath(workingDir.filePath("res/" + imgPath));
}

QString Picture::problem(const QByteArray& data, QString* suffix, Check check)
{
    if (data.isEmpty())
        return QStringLiteral("empty");
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return QStringLiteral("not a picture in a format the page can show");
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > kMaxPixels)
        return QString("%1 x %2 pixels, too large a picture").arg(size.width()).arg(size.height());
    if (!size.isValid())
        return QString("not a readable %1 picture").arg(QString::fromLatin1(format));
    // A JPEG decoded at an eighth of its size still reads all of its data, several times faster.
    if (format == "jpeg")
        reader.setScaledSize(QSize(qMax(1, size.width() / 8), qMax(1, size.height() / 8)));
    if (check == Check::Decode && reader.read().isNull())
        return QString("does not decode as %1: %2").arg(QString::fromLatin1(format), reader.errorString());
    if (suffix)
        *suffix = format == "jpeg" ? QStringLiteral("jpg") : QString::fromLatin1(format);
    return {};
}

QString Picture::copyName(const QString& imgPath)
{
    if (!imgPath.startsWith(kImagePrefix))
        return {};
    const QString name = imgPath.mid(int(sizeof kImagePrefix) - 1);
    return name.contains('/') || name.contains('\\') || name.startsWith('.') ? QString() : name;
}

QString Picture::fileStem(const QString& gameId)
{
    const QVector<uint> codePoints = gameId.toUcs4();
    QVector<uint> safe;
    for (uint c : codePoints) {
        if (safe.size() == kMaxStem)
            break;
        safe.append(safeInName(c) ? c : uint('_'));
    }
    QString stem = QString::fromUcs4(safe.constData(), safe.size());
    // A leading dot hides the file (and ".." is no name); Windows drops a trailing one.
    while (stem.startsWith('.'))
        stem.remove(0, 1);
    while (stem.endsWith('.'))
        stem.chop(1);
    if (stem.isEmpty() || reservedOnWindows(stem))
        stem.prepend("game_");
    return stem;
}

QString Picture::fileProblem(const QString& path, Check check)
{
    const OutsideFile file = OutsideFile::read(path, kMaxBytes);
    return file.ok() ? problem(file.data, nullptr, check) : file.problem;
}

QString Picture::load(const QString& path, const QStringList& trees, QByteArray* data, QString* suffix)
{
    OutsideFile file = OutsideFile::read(path, kMaxBytes, trees);
    const QString why = file.ok() ? problem(file.data, suffix) : file.problem;
    if (why.isEmpty())
        *data = std::move(file.data);
    return why;
}

bool Picture::save(const QString& path, const QByteArray& data, bool sync, QString* error)
{
    StagedFile file(path);
    return makeOwnedFolder(QFileInfo(path).path(), error)
           && file.write(data, error, QString(), sync ? StagedFile::Sync::Yes : StagedFile::Sync::No)
           && file.commit(error);
}
