#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

CommandLine::CommandLine(const QString& tool)
    : m_tool(tool)
    , m_out(stdout)
    , m_err(stderr)
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

bool CommandLine::parseTool(const QString& description, const QString& commands, const QStringList& arguments,
                            QString* command, QStringList* rest, int* status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addPositionalArgument("command", commands + ", then its own options.", "<command> [options]");
    if (!parseOwn(parser, m_tool + " <command> [options]", arguments, status))
        return false;
    *rest = parser.positionalArguments();
    if (rest->isEmpty()) {
        *status = usageError("no command given (" + commands + ")");
        return false;
    }
    *command = rest->takeFirst();
    return true;
}

bool CommandLine::parseProgram(QCommandLineParser& parser, const QString& usage, const QStringList& arguments,
                               int* status, bool positional)
{
    if (!parseOwn(parser, usage, arguments, status))
        return false;
    if (!positional && !parser.positionalArguments().isEmpty()) {
        *status = usageError("unexpected argument \"" + parser.positionalArguments().first() + "\"");
        return false;
    }
    return true;
}

bool CommandLine::parseOwn(QCommandLineParser& parser, const QString& usage, const QStringList& arguments, int* status)
{
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    *status = 0;
    if (!parser.parse(arguments)) {
        *status = usageError(parser.errorText());
        return false;
    }
    if (parser.isSet(version)) {
        m_out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return false;
    }
    if (parser.isSet(help) || parser.isSet("help-all")) {
        printHelp(parser, usage);
        return false;
    }
    return true;
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

bool CommandLine::number(const QCommandLineParser& parser, const QString& option, int min, int max, int* value,
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

void CommandLine::printHelp(const QCommandLineParser& parser, const QString& usage)
{
    const QString text = parser.helpText();
    m_out << "Usage: " << usage << text.mid(text.indexOf('\n'));
}

int CommandLine::usageError(const QString& message)
{
    m_out.flush(); // what was said before the error comes before it
    m_err << m_tool << ": " << message << "\nTry '" << m_tool << " --help'.\n";
    return 2;
}

int CommandLine::fail(const QString& message)
{
    m_out.flush();
    m_err << m_tool << ": " << message << '\n';
    return 1;
}
