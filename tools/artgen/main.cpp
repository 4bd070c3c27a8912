// nerq-artgen <source-dir>: redraws every picture of the page, the dashboard thumbnail and
// one tile picture per game of game/data_en.json, into the source tree.
#include "pageartwork.h"
#include "tileartwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

namespace {

bool save(const QImage& image, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32)
             .save(path, "PNG")) {
        std::fprintf(stderr, "nerq-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv); // text rendering needs the font database
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: nerq-artgen <source-dir>\n");
        return 2;
    }
    const QDir root(args.at(1));

    bool ok = true;
    ok &= save(PageArtwork::background(), root.filePath("res/res/background.png"));
    ok &= save(PageArtwork::logo(), root.filePath("res/res/nerq_io.png"));
    ok &= save(PageArtwork::button(), root.filePath("res/res/button_img.png"));
    ok &= save(PageArtwork::startLayer(), root.filePath("res/res/start_img.png"));
    ok &= save(PageArtwork::messageBackground(), root.filePath("res/res/message_background.png"));
    ok &= save(PageArtwork::eye(), root.filePath("res/res/eye.png"));
    ok &= save(PageArtwork::thumbIcon(), root.filePath("res/thumbicon.png"));

    // Tile titles come from the English catalogue; both catalogues share the pictures.
    QFile catalogue(root.filePath("game/data_en.json"));
    if (!catalogue.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "nerq-artgen: cannot read %s\n", qPrintable(catalogue.fileName()));
        return 1;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(catalogue.readAll(), &error);
    if (!doc.isArray()) {
        std::fprintf(stderr, "nerq-artgen: %s is not a JSON array: %s\n", qPrintable(catalogue.fileName()),
                     qPrintable(error.errorString()));
        return 1;
    }
    const QJsonArray games = doc.array();
    for (int i = 0; i < games.size(); ++i) {
        const QJsonObject game = games.at(i).toObject();
        const QString name = QFileInfo(game.value(QStringLiteral("imgPath")).toString()).fileName();
        if (name.isEmpty()) {
            std::fprintf(stderr, "nerq-artgen: entry %d has no imgPath\n", i);
            ok = false;
            continue;
        }
        ok &= save(TileArtwork::draw(game.value(QStringLiteral("gameName")).toString(), i),
                   root.filePath(QStringLiteral("game/images/") + name));
    }
    return ok ? 0 : 1;
}
