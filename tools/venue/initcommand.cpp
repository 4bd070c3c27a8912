#include "initcommand.h"

#include "brokerconfig.h"
#include "commandline.h"
#include "deskpage.h"
#include "mosquittoconf.h"
#include "pagetls.h"
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
    "console.conf with the desk's own user and password (0600), and recorder.conf with those of the\n"
    "recorder, which keeps the venue's books (0600). --tls makes the venue's CA and the broker's\n"
    "certificate (openssl) and turns TLS on for the station listener and for the desk's page and\n"
    "its websockets (https://, wss://), which stunnel serves on --ws-port from the broker's own\n"
    "websockets listener on loopback (--ws-local-port); it writes page-tls.conf for stunnel.\n"
    "\n"
    "Running it again never replaces credentials: passwords, console.conf, recorder.conf, the\n"
    "stations' files, keys and certificates are kept; mosquitto.conf is rewritten for the options\n"
    "given (the old one kept as mosquitto.conf.bak), and the credentials' files follow a new host or\n"
    "port with their passwords kept. It prints the one command that starts the broker, which works\n"
    "as root (the broker then runs as the folder's owner) and as the folder's owner.";

struct InitOptions {
    QString dir;
    QString host;
    int port = 0;
    int wsPort = 0;
    int wsLocalPort = 0;
    bool tls = false;
};

// A name or an address the stations can reach and the certificate can carry.
bool isHost(const QString& host)
{
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}\\z)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}"
                       "[A-Za-z0-9])?)*\\.?\\z"));
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
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_/.,:+@%=-]+")));
    if (plain.match(text).hasMatch())
        return text;
    return '\'' + QString(text).replace('\'', QLatin1String("'\\''")) + '\'';
}

// A public file of the venue's folder copied where else it is wanted, when it differs.
bool copyFile(const VenueFolder& folder, const QString& from, const QString& to, QString* error)
{
    QByteArray source;
    QByteArray copy;
    bool exists = false;
    return folder.read(from, &source, &exists, error) && folder.read(to, &copy, &exists, error)
           && (copy == source || folder.write(to, source, 0644, error));
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
    // A client of the desk PC whose file lies in the folder itself: the desk, the recorder.
    bool ensureOwnClient(VenueFolder::Client client, BrokerConfig* written, QString* error);
    bool ensureClients(const BrokerConfig& desk, QString* error);
    bool writeConfig(const MosquittoConf& config, bool* changed, QString* error);
    QString httpDir(QString* error);
    bool ensurePageTls(const MosquittoConf& config, QString* error);
    bool checkAccess(MosquittoConf* config, QString* error);
    void tellHowToStart(const MosquittoConf& config);

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
    config.wsLocalPort = m_options.wsLocalPort;

    m_cli.out() << m_folder.dir() << ": the broker for " << m_options.host << ", stations on port " << m_options.port
                << (m_options.tls ? " (TLS)" : "") << ", the desk's page on port " << m_options.wsPort << '\n';
    QStringList written;
    bool configChanged = false;
    BrokerConfig desk;
    if (!m_folder.loadAccess(&error)
        || (m_options.tls && !VenueCertificates(m_folder, m_cli.out()).ensure(m_options.host, &error))
        || !ensureOwnClient(VenueFolder::Client::Desk, &desk, &error)
        || !ensureOwnClient(VenueFolder::Client::Recorder, nullptr, &error) || !ensureClients(desk, &error)
        || !m_folder.saveAccess(&written, &error) || !makeOwnedFolder(m_folder.path(VenueFolder::kPersistence), &error))
        return m_cli.fail(error);
    for (const char* name : {VenueFolder::kPasswords, VenueFolder::kAcl})
        report(m_cli, name, written.contains(name) ? "written" : "kept");
    config.httpDir = httpDir(&error);
    if (!error.isEmpty() || !checkAccess(&config, &error) || !writeConfig(config, &configChanged, &error)
        || !ensurePageTls(config, &error))
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

    tellHowToStart(config);
    return 0;
}

void Init::tellHowToStart(const MosquittoConf& config)
{
    const bool root = config.user == QLatin1String("root");
    const QString host = m_options.host.contains(':') ? '[' + m_options.host + ']' : m_options.host;
    if (config.user.isEmpty() || root)
        m_cli.out() << "Start the broker:\n";
    else
        m_cli.out() << "Start the broker (as root, or as " << config.user << ", who owns the folder):\n";
    m_cli.out() << "  " << shellQuoted(mosquittoCommand()) << " -c " << shellQuoted(m_folder.path(VenueFolder::kConfig))
                << '\n';
    if (m_options.tls)
        m_cli.out() << "Start TLS for the desk's page" << (config.user.isEmpty() ? "" : " (as " + config.user + ")")
                    << ", beside the broker:\n  stunnel " << shellQuoted(m_folder.path(PageTls::kFile)) << '\n';
    m_cli.out() << "Start the recorder beside the broker (the venue's books; it signs in with "
                << VenueFolder::kRecorder << "):\n  nerq-recorder " << shellQuoted(m_folder.dir())
                << "\nor as a service of this user: systemctl --user enable --now nerq-recorder@$(systemd-escape "
                   "--path "
                << shellQuoted(m_folder.dir()) << ").service\n";
    m_cli.out() << "The desk's credentials: " << m_folder.path(VenueFolder::kConsole)
                << " (the other nerq-venue commands read ~/.config/nerqvrplatform/console.conf, or --config FILE)"
                << "\nThe desk's page: " << (m_options.tls ? "https://" : "http://") << host << ':' << m_options.wsPort
                << "/\n";
    if (m_options.tls)
        m_cli.out() << "A tablet or PC trusts the venue's CA once: " << m_folder.path(VenueFolder::kCaCert)
                    << ", also at https://" << host << ':' << m_options.wsPort << '/' << VenueFolder::kCaCert
                    << " (the README says how).\n";
}

// The broker reads its files as the folder's owner: one it cannot read would end it at start
// with a line of libwebsockets' or nothing. The page goes without; the rest is refused here.
bool Init::checkAccess(MosquittoConf* config, QString* error)
{
    const QString user = config->user;
    const QStringList page = VenuePlatform::unreadableFor(user, config->pageReads());
    if (!page.isEmpty()) {
        m_notes << QString("The broker runs as %1, who cannot read %2, so the websockets listener serves no page. "
                           "Let %1 read the page's folder and every folder above it (chown, chmod), then run "
                           "init again.")
                       .arg(user, page.first());
        config->httpDir.clear();
    }
    const QStringList files = VenuePlatform::unreadableFor(user, config->brokerReads(), {config->persistence()});
    if (files.isEmpty())
        return true;
    *error = QString("the broker runs as %1, who owns %2, and %1 cannot use %3; it would not start. Give %1 the "
                     "folder's files (chown -R %1 %2) and a way in (every folder above it must let %1 enter), or "
                     "keep the venue's folder where %1 can reach it; then run init again")
                 .arg(user, m_folder.dir(), files.join("; "));
    return false;
}

bool Init::ensurePageTls(const MosquittoConf& config, QString* error)
{
    if (!m_options.tls)
        return true;
    const PageTls tls{m_folder.dir(), config.bindAddress, config.wsPort, config.wsLocalPort};
    QByteArray old;
    bool exists = false;
    if (!m_folder.read(PageTls::kFile, &old, &exists, error))
        return false;
    if (old == tls.text())
        return true;
    if (!m_folder.write(PageTls::kFile, tls.text(), -1, error))
        return false;
    report(m_cli, PageTls::kFile, exists ? "rewritten" : "written, for stunnel");
    return true;
}

bool Init::ensureOwnClient(VenueFolder::Client client, BrokerConfig* written, QString* error)
{
    BrokerConfig where;
    where.host = m_options.host;
    where.port = m_options.port;
    where.caFile = m_options.tls ? m_folder.path(VenueFolder::kCaCert) : QString();
    const bool desk = client == VenueFolder::Client::Desk;
    const QString name = desk ? VenueFolder::kDeskUser : VenueFolder::kRecorderUser;
    const QString who = desk ? QStringLiteral("the desk's") : QStringLiteral("the recorder's");
    VenueFolder::SignIn state = VenueFolder::SignIn::Kept;
    if (!m_folder.ensureClient(client, name, where, &state, error, written))
        return false;
    report(m_cli, VenueFolder::clientFile(client, name),
           state == VenueFolder::SignIn::Made   ? QString("made, with %1 user and a new password").arg(who)
           : state == VenueFolder::SignIn::Kept ? QStringLiteral("kept")
                                                : QString("rewritten for the new address, TLS%1, %2 password kept")
                                                      .arg(desk ? " or page folder" : "", who));
    return true;
}

// The stations' and the desk's devices' files follow a new address, with their passwords kept.
bool Init::ensureClients(const BrokerConfig& desk, QString* error)
{
    for (const VenueFolder::Client client : {VenueFolder::Client::Station, VenueFolder::Client::DeskDevice}) {
        const QDir folder(m_folder.path(VenueFolder::clientFolder(client)));
        for (const QFileInfo& file : folder.entryInfoList({"*.conf"}, QDir::Files, QDir::Name)) {
            const QString name = file.completeBaseName();
            if (!isStationId(name))
                continue;
            VenueFolder::SignIn state = VenueFolder::SignIn::Kept;
            if (!m_folder.ensureClient(client, name, desk, &state, error))
                return false;
            if (state == VenueFolder::SignIn::Rewritten)
                report(m_cli, VenueFolder::clientFile(client, name),
                       client == VenueFolder::Client::Station
                           ? "rewritten for the new address: copy it to the station again"
                           : "rewritten for the new address or page folder: copy it to the desk's PC again");
        }
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

QString Init::httpDir(QString* error)
{
    // The broker serves a copy in the venue's folder, with the catalogue's pictures beside it.
    const DeskPage page(DeskPage::in(m_folder.dir()));
    const QString installed = DeskPage::installed();
    QStringList written;
    if (!QFileInfo(installed).isDir())
        m_notes << "No desk's page at " + installed + " to copy to " + page.dir() + ".";
    else if (!page.refresh(installed, {VenueFolder::kCaCert}, &written, error))
        return QString();
    else
        report(m_cli, QString(DeskPage::kFolder) + '/',
               written.isEmpty() ? "the desk's page, kept" : "the desk's page, copied from " + installed);
    if (m_options.tls
        && !copyFile(m_folder, VenueFolder::kCaCert, QString(DeskPage::kFolder) + '/' + VenueFolder::kCaCert, error))
        return QString();
    if (QFileInfo::exists(page.dir() + "/index.html"))
        return page.dir();
    m_notes << "The websockets listener serves no page.";
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
    const QCommandLineOption tls("tls", "TLS for the stations and the desk's page, with the venue's own CA.");
    const QCommandLineOption wsLocalPort(
        "ws-local-port",
        "With --tls: the broker's own websockets port, on loopback, behind the TLS of --ws-port "
        "(default: --ws-port + 1).",
        "N");
    parser.addOptions({host, port, wsPort, tls, wsLocalPort});
    int status = 0;
    if (!cli.parse(parser, "nerq-venue init DIR [--host NAME] [--port N] [--ws-port N] [--tls [--ws-local-port N]]",
                   arguments, &status))
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
    options.wsLocalPort = options.wsPort % 65535 + 1;
    if (parser.isSet(wsLocalPort) && !cli.number(parser, "ws-local-port", 1, 65535, &options.wsLocalPort, &status))
        return status;
    if (options.port == options.wsPort
        || (options.tls && (options.wsLocalPort == options.port || options.wsLocalPort == options.wsPort)))
        return cli.usageError("init: --port, --ws-port and --ws-local-port must differ");
    if (!isHost(options.host))
        return cli.usageError("init: \"" + options.host + "\" is no host name or address");
    options.dir = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    const QString unfit = MosquittoConf::unfitPath(options.dir);
    if (!unfit.isEmpty())
        return cli.usageError("init: the folder " + options.dir + " " + unfit + "; choose another");
    return Init(options, cli).run();
}
