#include "cataloguecommandline.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

const char kEditNote[] =
    "\n\nBoth catalogues under --catalogue-dir change alike, under the folder's lock, each written\n"
    "atomically with its previous version kept as <name>.bak; a catalogue the program would not\n"
    "load whole is left unchanged. The running program shows new games at its next 30-second\n"
    "reload, and changed, moved or removed ones at its next start.\n"
    "Exit status: 0 done, 1 nothing changed because of the data (an unknown or taken id, a missing\n"
    "launcher, a file that is no picture, a catalogue that cannot be read or written), 2 usage error.";

} // namespace

CatalogueCommandLine::CatalogueCommandLine()
    : CommandLine(QStringLiteral("nerq-catalogue"))
{}

bool CatalogueCommandLine::parseEdit(QCommandLineParser& parser, const char* description,
                                     const QList<QCommandLineOption>& options, const QString& usage,
                                     const QStringList& arguments, int* waitSeconds, int* status)
{
    parser.setApplicationDescription(QString(description) + kEditNote);
    parser.addOptions(options);
    parser.addOptions({dirOption(), waitOption()});
    return parse(parser, usage, arguments, status) && number(parser, "wait", 0, 3600, waitSeconds, status);
}

QCommandLineOption CatalogueCommandLine::dirOption()
{
    return QCommandLineOption("catalogue-dir", "The folder holding game/ (default: the working directory).", "DIR",
                              QDir::currentPath());
}

QCommandLineOption CatalogueCommandLine::waitOption()
{
    return QCommandLineOption("wait", "How long to wait for another nerq-catalogue writing the catalogues (default 5).",
                              "SECONDS", "5");
}

QString CatalogueCommandLine::catalogueDir(const QCommandLineParser& parser)
{
    return parser.value(dirOption().names().first());
}
