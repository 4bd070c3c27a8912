#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The broker's ACL file: a block a user, "user <name>" and the "topic" lines that follow it,
// up to the next "user" or "pattern" line. Blocks nerq-venue did not write are kept as they are.
class AclFile
{
public:
    explicit AclFile(const QByteArray& text = QByteArray());

    bool has(const QString& user) const { return findBlock(user) >= 0; }
    // Puts the user's block in the form `rules` gives ("topic ..." lines), in place or at the end.
    void set(const QString& user, const QStringList& rules);
    bool remove(const QString& user);
    QByteArray text() const;

    // The desk reads and writes everything of the venue.
    static QStringList deskRules();
    // The recorder reads the stations' events and statuses and writes only its acknowledgements
    // and the reports.
    static QStringList recorderRules();
    // A station writes its own status (its last will too), results and events, reads its own
    // commands, the recorder's acknowledgement of its events, the venue's catalogue and its
    // pictures, and nothing else.
    static QStringList stationRules(const QString& id);

private:
    int findBlock(const QString& user) const;
    int blockEnd(int start) const;

    QStringList m_lines;
};
