#include "setcommand.h"

#include "catalogueedit.h"

#include <json/value.h>

#include <QTextStream>

using namespace CatalogueEdit;

namespace {

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
