#pragma once

#include "commandline.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// nerq-catalogue's command line: what every subcommand tool shares, and the options and notes
// that several of its commands take.
class CatalogueCommandLine : public CommandLine
{
public:
    CatalogueCommandLine();

    // A writing command's parse: its description with what every edit shares, `options`,
    // --catalogue-dir and --wait.
    bool parseEdit(QCommandLineParser& parser, const char* description, const QList<QCommandLineOption>& options,
                   const QString& usage, const QStringList& arguments, int* waitSeconds, int* status);

    static QCommandLineOption dirOption();
    static QCommandLineOption waitOption();
    static QString catalogueDir(const QCommandLineParser& parser);
};
