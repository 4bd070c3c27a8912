#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The folder the broker serves the desk's page from (its http_dir): page/ in the venue's folder,
// holding a copy of the page that comes with nerq-venue and the venue catalogue's pictures in
// one file named by the catalogue's revision (pictures/<revision>). It lies with the venue's
// files, so the broker, which runs as their owner, can read whatever it serves. A tablet fetches
// the pictures as that file: the broker's websockets listener sends a file a hundred times
// faster than the same bytes as MQTT messages, and takes a quarter of a second for each file
// however small, so one file for all.
//
// The file: "NERQ-PICTURES 1\n", then a line "<sha256> <bytes>\n" for each picture, an empty
// line, and the pictures' bytes one after another in the order of those lines.
class DeskPage
{
public:
    static constexpr const char* kFolder = "page";
    static constexpr const char* kPictures = "pictures";

    explicit DeskPage(const QString& dir);
    // The page folder of the venue's folder `venueDir`.
    static QString in(const QString& venueDir);
    // Whichever page folder console.conf names (its [desk] section); empty when it names none.
    static QString fromConsole(const QString& consoleConf);
    // The [desk] section init adds to console.conf, naming this page folder.
    QByteArray consoleSection() const;

    // The page that comes with nerq-venue: console/ in its program folder.
    static QString installed();

    const QString& dir() const { return m_dir; }
    // Copies the files of `from` in, those that changed; files of an older page that the new one
    // lacks go, the pictures and `keep` stay. Names what it wrote in `written`.
    bool refresh(const QString& from, const QStringList& keep, QStringList* written, QString* error) const;
    // Writes the pictures (sha256 to bytes) of the catalogue `revision` as pictures/<revision>,
    // and removes those of other revisions. The folder must have been laid out by init.
    bool putPictures(const QString& revision, const QMap<QString, QByteArray>& pictures, QString* error) const;
    static QByteArray bundle(const QMap<QString, QByteArray>& pictures);

private:
    QString m_dir;
};
