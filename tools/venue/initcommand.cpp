#include "initcommand.h"

#include "brokerconfig.h"
#include "commandline.h"
#include "mosquittoconf.h"
#include "safefile.h"
#include "venuecertificates.h"
#include "venuefolder.h"
#include "venueplatform.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

namespace {

const char kDescription[] =
    "Sets up the venue's Mosquitto broker in DIR (made when missing): mosquitto.conf (no anonymous\n"
    "clients, persistence, the station listener on --port and a websockets listener on --ws-port\n"
    "that also serves the desk's page), the password file and the ACL file (mode 0600), and\n"
    "console.conf with the desk's own user and password (0600). --tls makes the venue's CA and the\n"
    "broker's certificate (openssl) and turns TLS on for the station listener.\n"
    "\n"
    "Running it again never replaces credentials: passwords, console.conf, the stations' files,\n"
    "keys and certificates are kept; mosquitto.conf is rewritten for the options given (the old one\n"
    "kept as mosquitto.conf.bak), and console.conf and the stations' files follow a new host or\n"
    "port with their passwords kept. It prints the one command that starts the broker, which works\n"
    "as root (the broker then runs as the folder's owner) and as the folder's owner.";

struct InitOptions {
    QString dir;
    QString host;
    int port = 0;
    int wsPort = 0;
    bool tls = false;
};

// A name or an address the stations can reach and the certificate can carry.
bool isHost(const QString& host)
{
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}"
                       "[A-Za-z0-9])?)*\\.?$"));
    return !QHostAddress(host).isNull() || name.match(host).hasMatch();
}

// The listeners of a venue named by a loopback address serve this machine only.
QString bindAddress(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("127.0.0.1");
    return QHostAddress(host).isLoopback() ? host : QString();
}

// Debian puts mosquitto in /usr/sbin, which an ordinary user's PATH lacks.
QString mosquittoCommand()
{
    const QString name = QStringLiteral("mosquitto");
    if (!QStandardPaths::findExecutable(name).isEmpty())
        return name;
    const QString found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin", "/sbin"});
    return found.isEmpty() ? name : found;
}

QString shellQuoted(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_/.,:+@%=-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    return '\'' + QString(text).replace('\'', QLatin1String("'\\''")) + '\'';
}

void report(CommandLine& cli, const QString& name, const QString& what)
{
    cli.out() << "  " << name << ": " << what << '\n';
}

class Init
{
public:
    Init(const InitOptions& options, CommandLine& cli)
        : m_options(options)
        , m_folder(options.dir)
        , m_cli(cli)
    {}

    int run();

private:
    bool ensureDesk(BrokerConfig* desk, QString* error);
    bool ensureStations(const BrokerConfig& desk, QString* error);
    bool writeConfig(const MosquittoConf& config, bool* changed, QString* error);
    QString httpDir();

    InitOptions m_options;
    VenueFolder m_folder;
    CommandLine& m_cli;
    QStringList m_notes; // said after the list of files
};

int Init::run()
{
    QString error;
    if (!makeOwnedFolder(m_folder.dir(), &error) || !m_folder.lock(&error))
        return m_cli.fail(error);
    MosquittoConf config;
    config.dir = m_folder.dir();
    config.user = VenuePlatform::ownerName(m_folder.dir(), &error);
    if (!error.isEmpty())
        return m_cli.fail(error + "; give the folder to a user with a name (chown)");
    config.bindAddress = bindAddress(m_options.host);
    config.port = m_options.port;
    config.wsPort = m_options.wsPort;
    config.tls = m_options.tls;

    m_cli.out() << m_folder.dir() << ": the broker for " << m_options.host << ", stations on port " << m_options.port
                << (m_options.tls ? " (TLS)" : "") << ", the desk's page on port " << m_options.wsPort << '\n';
    QStringList written;
    bool configChanged = false;
    BrokerConfig desk;
    if (!m_folder.loadAccess(&error)
        || (m_options.tls && !VenueCertificates(m_folder, m_cli.out()).ensure(m_options.host, &error))
        || !ensureDesk(&desk, &error) || !ensureStations(desk, &error) || !m_folder.saveAccess(&written, &error)
        || !makeOwnedFolder(m_folder.path(VenueFolder::kPersistence), &error))
        return m_cli.fail(error);
    for (const char* name : {VenueFolder::kPasswords, VenueFolder::kAcl})
        report(m_cli, name, written.contains(name) ? "written" : "kept");
    config.httpDir = httpDir();
    if (!writeConfig(config, &configChanged, &error))
        return m_cli.fail(error);
    for (const QString& note : m_notes)
        m_cli.out() << note << '\n';
    if (!m_options.tls && QFileInfo::exists(m_folder.path(VenueFolder::kCaCert)))
        m_cli.out() << "TLS is off; the venue's CA and the broker's certificate are kept for --tls.\n";
    const bool root = config.user == QLatin1String("root");
    if (root)
        m_cli.out() << "The folder belongs to root, so the broker runs as root (mosquitto warns of it); a folder "
                       "of an ordinary user (chown -R) makes it run as that user when root starts it.\n";
    const bool running = QFileInfo::exists(m_folder.path(VenueFolder::kPidFile));
    if (running && !written.isEmpty() && !m_folder.reloadBroker(m_cli.out(), &error))
        return m_cli.fail(error);
    if (mosquittoCommand() == QLatin1String("mosquitto") && QStandardPaths::findExecutable("mosquitto").isEmpty())
        m_cli.out() << "mosquitto is not installed here (Debian's package mosquitto).\n";
    if (running && configChanged)
        m_cli.out() << "A broker that runs on the old mosquitto.conf uses the new one once restarted.\n";

    const QString host = m_options.host.contains(':') ? '[' + m_options.host + ']' : m_options.host;
    if (config.user.isEmpty() || root)
        m_cli.out() << "Start the broker:\n";
    else
        m_cli.out() << "Start the broker (as root, or as " << config.user << ", who owns the folder):\n";
    m_cli.out() << "  " << shellQuoted(mosquittoCommand()) << " -c " << shellQuoted(m_folder.path(VenueFolder::kConfig))
                << "\nThe desk's credentials: " << m_folder.path(VenueFolder::kConsole)
                << " (the other nerq-venue commands read ~/.config/nerqvrplatform/console.conf, or --config FILE)"
                << "\nThe desk's page: http://" << host << ':' << m_options.wsPort << "/\n";
    return 0;
}

bool Init::ensureDesk(BrokerConfig* desk, QString* error)
{
    const QString path = m_folder.path(VenueFolder::kConsole);
    const bool exists = QFileInfo::exists(path);
    BrokerConfig old;
    if (exists && !BrokerConfig::load(path, &old, error)) {
        *error += "; mend it, or remove it to give the desk a new password";
        return false;
    }
    if (exists && (old.station || old.user != VenueFolder::kDeskUser)) {
        *error = QString("%1 names %2, not the desk's user %3; mend it or remove it")
                     .arg(path, old.user, VenueFolder::kDeskUser);
        return false;
    }
    desk->host = m_options.host;
    desk->port = m_options.port;
    desk->user = VenueFolder::kDeskUser;
    desk->password = exists ? old.password : PasswordFile::newPassword();
    // Absolute, so that the file still finds the CA when copied to the desk's own folder.
    desk->caFile = m_options.tls ? m_folder.path(VenueFolder::kCaCert) : QString();
    if (desk->password.isEmpty()) {
        *error = "the system gave no random bytes for a password";
        return false;
    }
    const bool same = exists && old.host == desk->host && old.port == desk->port && old.caFile == desk->caFile;
    if (!same && !m_folder.write(VenueFolder::kConsole, desk->text(), VenueFolder::kSecret, error))
        return false;
    const bool known = m_folder.passwords().matches(desk->user, desk->password);
    if (!known && !m_folder.passwords().set(desk->user, desk->password)) {
        *error = "the system gave no random bytes for a password's salt";
        return false;
    }
    m_folder.acl().set(desk->user, AclFile::deskRules());
    report(m_cli, VenueFolder::kConsole,
           !exists ? "made, with the desk's user and a new password"
           : same  ? "kept"
                   : "rewritten for the new address, the desk's password kept");
    return true;
}

bool Init::ensureStations(const BrokerConfig& desk, QString* error)
{
    const QDir stations(m_folder.path(VenueFolder::kStations));
    for (const QFileInfo& file : stations.entryInfoList({"*.conf"}, QDir::Files, QDir::Name)) {
        const QString id = file.completeBaseName();
        if (!isStationId(id))
            continue;
        VenueFolder::Station state = VenueFolder::Station::Kept;
        if (!m_folder.ensureStation(id, desk, &state, error))
            return false;
        if (state == VenueFolder::Station::Rewritten)
            report(m_cli, VenueFolder::stationFile(id), "rewritten for the new address: copy it to the station again");
    }
    return true;
}

bool Init::writeConfig(const MosquittoConf& config, bool* changed, QString* error)
{
    QByteArray old;
    bool exists = false;
    const QByteArray text = config.text();
    if (!m_folder.read(VenueFolder::kConfig, &old, &exists, error))
        return false;
    *changed = old != text;
    if (!*changed) {
        report(m_cli, VenueFolder::kConfig, "kept, as these options write it");
        return true;
    }
    const QString backup = QString(VenueFolder::kConfig) + ".bak";
    if ((exists && !m_folder.write(backup, old, -1, error)) || !m_folder.write(VenueFolder::kConfig, text, -1, error))
        return false;
    report(m_cli, VenueFolder::kConfig, exists ? "rewritten (the previous one is " + backup + ")" : "written");
    return true;
}

QString Init::httpDir()
{
    const QString page = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/console");
    const QString unfit = MosquittoConf::unfitPath(page);
    if (!QFileInfo(page).isDir())
        m_notes << "No desk's page at " + page + ": the websockets listener serves none.";
    else if (!unfit.isEmpty())
        m_notes << "The desk's page at " + page + " " + unfit + ": the websockets listener serves none.";
    else
        return page;
    return QString();
}

} // namespace

int runInitCommand(const QStringList& arguments, CommandLine& cli)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("DIR", "The broker's folder.");
    const QCommandLineOption host("host",
                                  "The name or address the stations reach the broker by (default: this "
                                  "machine's name). A loopback address keeps the broker to this machine.",
                                  "NAME", QSysInfo::machineHostName());
    const QCommandLineOption port("port", "The stations' port (default 1883, with --tls 8883).", "N");
    const QCommandLineOption wsPort("ws-port", "The port of the desk's page and its websockets (default 9001).", "N",
                                    "9001");
    const QCommandLineOption tls("tls", "TLS for the stations, with the venue's own CA.");
    parser.addOptions({host, port, wsPort, tls});
    int status = 0;
    if (!cli.parse(parser, "nerq-venue init DIR [--host NAME] [--port N] [--ws-port N] [--tls]", arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("init takes one folder");

    InitOptions options;
    options.tls = parser.isSet(tls);
    options.host = parser.value(host);
    if (!parser.isSet(port))
        options.port = options.tls ? 8883 : 1883;
    else if (!cli.number(parser, "port", 1, 65535, &options.port, &status))
        return status;
    if (!cli.number(parser, "ws-port", 1, 65535, &options.wsPort, &status))
        return status;
    if (options.port == options.wsPort)
        return cli.usageError("init: --port and --ws-port must differ");
    if (!isHost(options.host))
        return cli.usageError("init: \"" + options.host + "\" is no host name or address");
    options.dir = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    const QString unfit = MosquittoConf::unfitPath(options.dir);
    if (!unfit.isEmpty())
        return cli.usageError("init: the folder " + options.dir + " " + unfit + "; choose another");
    return Init(options, cli).run();
}
