#include "removecommand.h"

#include "cataloguecommandline.h"
#include "catalogueedit.h"

#include <json/value.h>

#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace CatalogueEdit;

namespace {

const char kDescription[] =
    "Takes the games off both catalogues. A picture in game/images/ that a removed game showed\n"
    "goes too, unless another game shows it. An unknown id changes nothing.";

} // namespace

int runRemove(const QString& catalogueDir, const QStringList& gameIds, int waitSeconds, QTextStream& out,
              QTextStream& err)
{
    Session session(catalogueDir, out, err);
    if (!session.open(waitSeconds))
        return 1;
    std::vector<int> doomed[2];
    for (const QString& gameId : gameIds) {
        std::array<int, 2> at{};
        if (!session.locate(gameId, &at))
            return 1;
        for (Language language : CatalogueStore::kLanguages) {
            if (at[language] >= 0)
                doomed[language].push_back(at[language]);
        }
    }
    QStringList pictures;
    for (Language language : CatalogueStore::kLanguages) {
        std::vector<int>& indices = doomed[language];
        // The last first, so that the indices left stay valid; an id given twice goes once.
        std::sort(indices.rbegin(), indices.rend());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
        Json::Value& entries = session.store().catalogue(language).entries();
        for (int index : indices) {
            Json::Value removed;
            entries.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
            pictures << QString::fromStdString(removed.get("imgPath", "").asString());
        }
    }
    QStringList quoted;
    for (const QString& gameId : gameIds)
        quoted << '"' + gameId + '"';
    quoted.removeDuplicates();
    return session.finish("removed " + quoted.join(", ") + " from", shownAtStart(), pictures);
}

int removeCommand(CatalogueCommandLine& cli, const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addPositionalArgument("ID...", "The games' gameIds.");
    int wait = 0;
    int status = 0;
    if (!cli.parseEdit(parser, kDescription, {}, "nerq-catalogue remove [--catalogue-dir DIR] ID... [--wait SECONDS]",
                       arguments, &wait, &status))
        return status;
    if (parser.positionalArguments().isEmpty())
        return cli.usageError("remove takes one or more game ids");
    return runRemove(CatalogueCommandLine::catalogueDir(parser), parser.positionalArguments(), wait, cli.out(),
                     cli.err());
}
