#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

const char kEditNote[] =
    "\n\nBoth catalogues under --catalogue-dir change alike, under the folder's lock, each written\n"
    "atomically with its previous version kept as <name>.bak; a catalogue the program would not\n"
    "load whole is left unchanged. The running program shows new games at its next 30-second\n"
    "reload, and changed, moved or removed ones at its next start.\n"
    "Exit status: 0 done, 1 nothing changed because of the data (an unknown or taken id, a missing\n"
    "launcher, a file that is no picture, a catalogue that cannot be read or written), 2 usage error.";

} // namespace

CommandLine::CommandLine()
    : m_out(stdout)
    , m_err(stderr)
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

int CommandLine::usageError(const QString& message)
{
    m_err << "nerq-catalogue: " << message << "\nTry 'nerq-catalogue --help'.\n";
    return 2;
}

void CommandLine::printHelp(const QCommandLineParser& parser, const QString& usage)
{
    const QString text = parser.helpText();
    m_out << "Usage: " << usage << text.mid(text.indexOf('\n'));
}

bool CommandLine::parse(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status)
{
    const QString command = usage.section(' ', 1, 1);
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(QStringList{QCoreApplication::applicationName() + ' ' + command} + arguments)) {
        *status = usageError(command + ": " + parser.errorText());
        return false;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        printHelp(parser, usage);
        *status = 0;
        return false;
    }
    return true;
}

bool CommandLine::parseEdit(QCommandLineParser& parser, const char* description,
                            const QList<QCommandLineOption>& options, const QString& usage,
                            const QStringList& arguments, int* waitSeconds, int* status)
{
    parser.setApplicationDescription(QString(description) + kEditNote);
    parser.addOptions(options);
    parser.addOptions({dirOption(), waitOption()});
    return parse(parser, usage, arguments, status) && parseNumber(parser, "wait", 0, 3600, waitSeconds, status);
}

bool CommandLine::parseNumber(const QCommandLineParser& parser, const QString& option, int min, int max, int* value,
                              int* status)
{
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    if (ok && *value >= min && *value <= max)
        return true;
    *status = usageError(QString("--%1 takes a whole number from %2 to %3, not \"%4\"")
                             .arg(option)
                             .arg(min)
                             .arg(max)
                             .arg(parser.value(option)));
    return false;
}

QCommandLineOption CommandLine::dirOption()
{
    return QCommandLineOption("catalogue-dir", "The folder holding game/ (default: the working directory).", "DIR",
                              QDir::currentPath());
}

QCommandLineOption CommandLine::waitOption()
{
    return QCommandLineOption("wait", "How long to wait for another nerq-catalogue writing the catalogues (default 5).",
                              "SECONDS", "5");
}

QString CommandLine::catalogueDir(const QCommandLineParser& parser)
{
    return parser.value(dirOption().names().first());
}
