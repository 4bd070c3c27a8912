#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class QCommandLineParser;

// What the command-line tools share: their output, their usage errors (status 2) and failures
// (status 1), --help and --version, and for a tool with subcommands (nerq-catalogue, nerq-venue)
// the parse of a command's own options, as git and dpkg do it.
class CommandLine
{
public:
    explicit CommandLine(const QString& tool);

    const QString& tool() const { return m_tool; }
    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }

    // Parses the tool's own arguments: --help, --version, then the command's name, which it takes
    // off `rest` with the command's arguments after it. `commands` lists the names for the help
    // and the errors. False when it printed the help or version (status 0) or a usage error (2).
    bool parseTool(const QString& description, const QString& commands, const QStringList& arguments, QString* command,
                   QStringList* rest, int* status);
    // Parses the options of a program without commands (nerq-station), with --help and --version;
    // `arguments` start with the program's own name, and none may follow the options unless
    // `positional` (their number is the caller's to check). False when it printed the help or
    // version (status 0) or a usage error (status 2).
    bool parseProgram(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status,
                      bool positional = false);
    // Parses a command's options; `usage` is its synopsis ("nerq-venue init DIR [--tls]").
    // False when it printed its help (status 0) or a usage error (status 2).
    bool parse(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status);
    // A whole number from `min` to `max` for the option; a usage error otherwise.
    bool number(const QCommandLineParser& parser, const QString& option, int min, int max, int* value, int* status);
    // Qt's help with a usage line that names the command, whatever the program file is called.
    void printHelp(const QCommandLineParser& parser, const QString& usage);

    // "<tool>: <message>\nTry '<tool> --help'." on standard error; returns 2.
    int usageError(const QString& message);
    // "<tool>: <message>" on standard error; returns 1.
    int fail(const QString& message);

private:
    // The program's own arguments with --help and --version; false when it printed one of them
    // (status 0) or a usage error (status 2).
    bool parseOwn(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status);

    QString m_tool;
    QTextStream m_out;
    QTextStream m_err;
};
