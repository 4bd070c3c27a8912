#include "setcommand.h"

#include "cataloguecommandline.h"
#include "catalogueedit.h"

#include <json/value.h>

#include <QCommandLineParser>
#include <QTextStream>

using namespace CatalogueEdit;

namespace {

const char kDescription[] =
    "Changes a game's values: --name in game/data_en.json, --name-cn in game/data_cn.json, the\n"
    "others in both. --image replaces the picture (the old copy in game/images/ goes when no game\n"
    "shows it any more); --launcher makes the game a native one started by that file.";

QString text(const Json::Value& value)
{
    // Names as they read, not as JSON escapes them.
    if (value.isString())
        return '"' + QString::fromStdString(value.asString()) + '"';
    return QString::fromStdString(value.toStyledString()).trimmed();
}

// Sets the entry's keys and describes what differed, each once for both catalogues.
class Change
{
public:
    void put(Json::Value& entry, const char* key, const Json::Value& value, const QString& where = QString())
    {
        const Json::Value old = entry.get(key, Json::Value());
        if (old == value)
            return;
        entry[key] = value;
        const QString line = QString("%1%2 %3 -> %4").arg(key, where, text(old), text(value));
        if (!m_lines.contains(line))
            m_lines << line;
    }
    const QStringList& lines() const { return m_lines; }

private:
    QStringList m_lines;
};

} // namespace

int runSet(const SetOptions& options, QTextStream& out, QTextStream& err)
{
    Session session(options.catalogueDir, out, err);
    std::array<int, 2> at{};
    if (!session.open(options.waitSeconds) || !session.locate(options.gameId, &at))
        return 1;
    CatalogueStore& store = session.store();
    QString launcher;
    if (options.launcher && !session.launcher(*options.launcher, &launcher))
        return 1;
    QString imgPath;
    if (options.image && !session.importPicture(*options.image, options.gameId, &imgPath))
        return 1;
    Change change;
    QStringList replaced;
    for (Language language : CatalogueStore::kLanguages) {
        if (at[language] < 0)
            continue;
        Json::Value& entry = store.catalogue(language).entries()[static_cast<Json::ArrayIndex>(at[language])];
        const std::optional<QString>& name = language == CatalogueStore::English ? options.name : options.nameCn;
        if (name)
            change.put(entry, "gameName", name->toStdString(), " in " + CatalogueStore::fileName(language));
        if (options.mode)
            change.put(entry, "gameMode", *options.mode);
        if (options.image) {
            replaced << QString::fromStdString(entry.get("imgPath", "").asString());
            change.put(entry, "imgPath", imgPath.toStdString());
        }
        if (options.launcher) {
            change.put(entry, "isNative", true);
            change.put(entry, "launcherPath", launcher.toStdString());
        }
    }
    if (change.lines().isEmpty()) {
        out << QString("\"%1\" already has those values; nothing written\n").arg(options.gameId);
        return 0;
    }
    return session.finish(QString("changed \"%1\": %2; in").arg(options.gameId, change.lines().join(", ")),
                          shownAtStart(), replaced);
}

int setCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID", "The game's gameId.");
    const QCommandLineOption name("name", "Its name on the English page.", "NAME");
    const QCommandLineOption nameCn("name-cn", "Its name on the Chinese page.", "NAME");
    const QCommandLineOption mode("mode", "gameMode, -999 to 9999.", "N");
    const QCommandLineOption image("image", "A new picture.", "FILE");
    const QCommandLineOption launcher("launcher", "The file that starts it, as a native game.", "PATH");
    SetOptions options;
    int status = 0;
    if (!cli.parseEdit(parser, kDescription, {name, nameCn, mode, image, launcher},
                       "nerq-catalogue set [--catalogue-dir DIR] ID [--name NAME] [--name-cn NAME] [--mode N] "
                       "[--image FILE] [--launcher PATH] [--wait SECONDS]",
                       arguments, &options.waitSeconds, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("set takes one game id");
    auto given = [&parser](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
    };
    options.name = given(name);
    options.nameCn = given(nameCn);
    options.image = given(image);
    options.launcher = given(launcher);
    int value = 0;
    if (parser.isSet(mode) && !cli.number(parser, "mode", -999, 9999, &value, &status))
        return status;
    if (parser.isSet(mode))
        options.mode = value;
    if (!options.name && !options.nameCn && !options.image && !options.launcher && !options.mode)
        return cli.usageError("set: nothing to change (--name, --name-cn, --mode, --image or --launcher)");
    options.catalogueDir = CatalogueCommandLine::catalogueDir(parser);
    options.gameId = parser.positionalArguments().first();
    return runSet(options, cli.out(), cli.err());
}
