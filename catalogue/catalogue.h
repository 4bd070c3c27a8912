#pragma once

#include <json/value.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class GameItem;

// Something in a catalogue that the program would not load, in plain words.
struct CatalogueProblem {
    int index = -1; // the entry, counted from 0; -1 for the file as a whole
    QString gameId; // the entry's game id, when it has one
    QString message;
};

// A game catalogue as the program reads it, with its entries kept as written so that the
// catalogue tool can change some and write back the rest, unknown keys included.
class Catalogue
{
public:
    Catalogue();
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // Reads the content through the program's own reader; of entries sharing a game id the first
    // is kept, as the program's model keeps it. A missing or unreadable file reads as empty
    // content, which the program refuses.
    void read(const QByteArray& content);
    void readFile(const QString& path);

    // The program would load nothing from it: not strict JSON, or not a list.
    bool refused() const { return m_refused; }
    // Each entry the program would skip or drop, or the one reason it refuses the file.
    const std::vector<CatalogueProblem>& problems() const { return m_problems; }
    const QByteArray& content() const { return m_content; }

    int size() const;
    // The game the program makes of an entry, or none when it skips or drops it. Stays as read
    // when the entries change afterwards.
    const GameItem* game(int index) const;
    // The entries as written; changes to them go into json() and save().
    Json::Value& entries() { return m_root; }
    const Json::Value& entries() const { return m_root; }

    // A new entry with the seven keys in the catalogue's order.
    static Json::Value newEntry(const QString& gameId, const QString& gameName, const QString& imgPath, bool isNative,
                                const QString& launcherPath, int steamGameId, int gameMode);

    // Indented JSON, each entry's catalogue keys first in their usual order, then any others.
    QByteArray json() const;

private:
    void readEntries();

    QByteArray m_content;
    Json::Value m_root;
    std::vector<std::unique_ptr<GameItem>> m_games; // none where the program skips or drops the entry
    std::vector<CatalogueProblem> m_problems;
    bool m_refused = false;
};
