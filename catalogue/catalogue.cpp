#include "catalogue.h"

#include "cataloguereader.h"
#include "gameitem.h"

#include <json/json.h>

#include <QHash>

#include <sstream>

namespace {

const char* const kKeys[] = {"gameId", "gameName", "imgPath", "isNative", "launcherPath", "steamGameId", "gameMode"};

QString describe(const Json::Value& value)
{
    switch (value.type()) {
    case Json::nullValue:
        return "null";
    case Json::stringValue:
        return "the text \"" + QString::fromStdString(value.asString()) + '"';
    case Json::booleanValue:
        return value.asBool() ? "true" : "false";
    case Json::arrayValue:
        return "a list";
    case Json::objectValue:
        return "an object";
    default:
        return "the number " + QString::fromStdString(value.asString());
    }
}

// Why the program cannot read the key, in words; the library's own text follows in the report.
QString explain(const Json::Value& entry, const CatalogueEntryError& error)
{
    if (!entry.isObject() && !entry.isNull())
        return "the entry is " + describe(entry) + ", not an object";
    const QString key = QString::fromStdString(error.key());
    const Json::Value value = entry.get(error.key(), Json::Value());
    QString wanted = "a whole number from -2147483648 to 2147483647, written without quotes";
    if (key == "isNative")
        wanted = "true or false";
    else if (key != "steamGameId" && key != "gameMode")
        wanted = "text";
    return QString("\"%1\" is %2, but must be %3").arg(key, describe(value), wanted);
}

// The library's report comes in indented lines: "* Line 1, Column 2\n  Syntax error: ...".
QString oneLine(const std::string& report)
{
    QString text = QString::fromStdString(report).trimmed();
    if (text.startsWith("* "))
        text.remove(0, 2);
    return text.replace("\n  ", ": ").replace("\n* ", "; ").replace('\n', ' ');
}

} // namespace

Catalogue::Catalogue() = default;
Catalogue::~Catalogue() = default;

void Catalogue::readFile(const QString& path)
{
    read(QByteArray::fromStdString(CatalogueReader::readFile(path.toStdString())));
}

void Catalogue::read(const QByteArray& content)
{
    m_content = content;
    m_root = Json::Value();
    m_problems.clear();
    m_refused = false;
    std::string reason;
    if (!CatalogueReader().parse(content.toStdString(), m_root, &reason)) {
        m_refused = true;
        QString why = "it is not strict JSON: " + oneLine(reason);
        if (content.isEmpty())
            why = QStringLiteral("it is missing, empty or unreadable");
        else if (content.startsWith("\xEF\xBB\xBF"))
            why = QStringLiteral("it starts with a byte-order mark");
        m_problems.push_back(
            {-1,
             {},
             why + "; the program loads nothing from it (log: \"Parse json file failed, invalid json file!\")"});
        m_root = Json::Value(Json::arrayValue);
    } else if (!m_root.isArray()) {
        m_refused = true;
        m_problems.push_back({-1,
                              {},
                              "the top level is an object, not a list; the program loads nothing from it (log: "
                              "\"Parse json file failed, error is in Json::Value::operator[](ArrayIndex): requires "
                              "arrayValue\" once for each member)"});
    }
    readEntries();
}

void Catalogue::readEntries()
{
    m_games.clear();
    m_games.resize(m_refused ? 0 : m_root.size());
    // The program's model keeps the first game of an id, the ids compared exactly as QString does.
    QHash<QString, int> firstWithId;
    for (int i = 0; i < static_cast<int>(m_games.size()); ++i) {
        Json::Value entry = m_root[i]; // a copy: reading adds missing keys, the original stays as written
        try {
            std::unique_ptr<GameItem> item = CatalogueReader::readEntry(entry);
            const QString gameId = item->gameId();
            const auto first = firstWithId.constFind(gameId);
            if (first == firstWithId.cend()) {
                firstWithId.insert(gameId, i);
                m_games[i] = std::move(item);
            } else {
                m_problems.push_back({i, gameId,
                                      QString("the game id \"%1\" is already used by entry %2; the program drops "
                                              "this entry and keeps the first")
                                          .arg(gameId, QString::number(*first))});
            }
        } catch (const CatalogueEntryError& e) {
            const Json::Value& original = m_root[i];
            QString gameId;
            if (original.isObject() && e.key() != "gameId")
                gameId = QString::fromStdString(original["gameId"].asString());
            m_problems.push_back({i, gameId,
                                  explain(original, e)
                                      + QString("; the program skips this entry (log: \"Parse json file failed, "
                                                "error is %1\")")
                                            .arg(e.what())});
        }
    }
}

int Catalogue::size() const
{
    return static_cast<int>(m_games.size());
}

const GameItem* Catalogue::game(int index) const
{
    return index >= 0 && index < size() ? m_games[index].get() : nullptr;
}

Json::Value Catalogue::newEntry(const QString& gameId, const QString& gameName, const QString& imgPath, bool isNative,
                                const QString& launcherPath, int steamGameId, int gameMode)
{
    Json::Value entry(Json::objectValue);
    entry["gameId"] = gameId.toStdString();
    entry["gameName"] = gameName.toStdString();
    entry["imgPath"] = imgPath.toStdString();
    entry["isNative"] = isNative;
    entry["launcherPath"] = launcherPath.toStdString();
    entry["steamGameId"] = steamGameId;
    entry["gameMode"] = gameMode;
    return entry;
}

QByteArray Catalogue::json() const
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream out;
    auto member = [&](bool first, const std::string& name, const Json::Value& value) {
        out << (first ? "\n" : ",\n") << "        ";
        writer->write(Json::Value(name), &out);
        out << ": ";
        writer->write(value, &out);
    };
    out << '[';
    for (Json::ArrayIndex i = 0; i < m_root.size(); ++i) {
        out << (i ? ",\n" : "\n") << "    ";
        const Json::Value& entry = m_root[i];
        if (!entry.isObject() || entry.empty()) {
            writer->write(entry, &out);
            continue;
        }
        out << '{';
        bool first = true;
        for (const char* key : kKeys) {
            if (entry.isMember(key)) {
                member(first, key, entry[key]);
                first = false;
            }
        }
        for (const std::string& name : entry.getMemberNames()) {
            if (std::find(std::begin(kKeys), std::end(kKeys), name) == std::end(kKeys)) {
                member(first, name, entry[name]);
                first = false;
            }
        }
        out << "\n    }";
    }
    out << (m_root.empty() ? "]\n" : "\n]\n");
    return QByteArray::fromStdString(out.str());
}
