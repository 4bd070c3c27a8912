#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

class QCommandLineParser;

// What the nerq-catalogue commands share on the command line: the output streams, the parse of
// a command's own options with its --help, the options and numbers several of them take, and
// the usage error (exit status 2).
class CommandLine
{
public:
    CommandLine();

    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }

    // Prints the message with a pointer to --help; returns 2.
    int usageError(const QString& message);
    // Qt's help with a usage line that names the command, whatever the program file is called.
    void printHelp(const QCommandLineParser& parser, const QString& usage);

    // Parses a command's own options; false when it printed help (status 0) or an error (2).
    bool parse(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status);
    // A writing command's parse: its description with what every edit shares, `options`,
    // --catalogue-dir and --wait.
    bool parseEdit(QCommandLineParser& parser, const char* description, const QList<QCommandLineOption>& options,
                   const QString& usage, const QStringList& arguments, int* waitSeconds, int* status);
    // A whole number from `min` to `max`; a usage error otherwise.
    bool parseNumber(const QCommandLineParser& parser, const QString& option, int min, int max, int* value,
                     int* status);

    static QCommandLineOption dirOption();
    static QCommandLineOption waitOption();
    static QString catalogueDir(const QCommandLineParser& parser);

private:
    QTextStream m_out;
    QTextStream m_err;
};
