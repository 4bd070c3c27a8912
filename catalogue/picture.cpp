#include "picture.h"

#include "safefile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QUrl>

namespace {

// A header claiming more pixels than this would make the decoder ask for gigabytes.
constexpr qint64 kMaxPixels = 64 * 1024 * 1024;

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
