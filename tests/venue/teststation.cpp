#include "teststation.h"

#include "desksession.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>

#include <csignal>

namespace {

void writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList lines(const QString& path)
{
    return QString::fromUtf8(readFile(path)).split('\n', Qt::SkipEmptyParts);
}

// /dev/shm/<prefix><name>, read from outside the code under test.
QByteArray block(const QString& prefix, const char* name)
{
    return readFile("/dev/shm/" + prefix + name);
}

} // namespace

QString lineFor(const QString& output, const QString& station)
{
    for (const QString& line : output.split('\n')) {
        if (line.startsWith(station + ':') || line.startsWith(station + ' '))
            return line;
    }
    return {};
}

StationStatus statusOf(const BrokerConfig& desk, const QString& station)
{
    DeskSession session(desk);
    QString error;
    if (!session.open(5000, &error))
        return {};
    const StationStatus status = session.stations().value(station);
    session.close();
    return status;
}

QString fakeTimeLibrary()
{
    for (const QString& lib : QDir("/usr/lib").entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = "/usr/lib/" + lib + "/faketime/libfaketime.so.1";
        if (QFileInfo::exists(path))
            return path;
    }
    return QFileInfo::exists("/usr/lib/faketime/libfaketime.so.1") ? "/usr/lib/faketime/libfaketime.so.1" : QString();
}

TestStation::TestStation(const QString& id, const QString& configFile)
    : m_id(id)
    , m_config(configFile)
{
    QDir().mkpath(catalogueDir() + "/game");
    QDir().mkpath(home());
    // xdg-open records what it was asked to open; a Steam URI also leaves a process that looks
    // like Steam's reaper of that app for a while, as Steam would. Every agent of this user
    // would take it for a running Steam game, so it goes with the station.
    writeFile(m_dir.filePath("bin/xdg-open"),
              "#!/bin/sh\n"
              "echo \"$1\" >> '"
                  + m_dir.filePath("opened").toUtf8()
                  + "'\n"
                    "case $1 in steam://launch/*) id=${1#steam://launch/}; id=${id%%/*}\n"
                    "  sh -c 'sleep 20' reaper SteamLaunch \"AppId=$id\" </dev/null >/dev/null 2>&1 &\n"
                    "  echo $! >> '"
                  + m_dir.filePath("reapers").toUtf8() + "' ;; esac\n",
              true);
    m_agent.setProcessChannelMode(QProcess::MergedChannels);
    m_agent.setStandardOutputFile(m_dir.filePath("agent.log"), QIODevice::Append);
}

TestStation::~TestStation()
{
    if (isRunning()) {
        m_agent.kill();
        m_agent.waitForFinished(5000);
    }
    for (const QString& reaper : lines(m_dir.filePath("reapers")))
        ::kill(static_cast<pid_t>(reaper.toLongLong()), SIGKILL);
    reapStubbornGame(stubbornNotes());
}

QByteArray TestStation::nativeEntry(const QString& gameId, const QString& launcherPath, int mode, const QString& name,
                                    const QString& imgPath)
{
    return QString(R"({"gameId": "%1", "gameName": "%2", "imgPath": "%3", "isNative": true, "launcherPath": "%4",)"
                   R"( "steamGameId": 0, "gameMode": %5})")
        .arg(gameId, name.isEmpty() ? gameId : name, imgPath, launcherPath)
        .arg(mode)
        .toUtf8();
}

QByteArray TestStation::steamEntry(const QString& gameId, int appId, int mode, const QString& name)
{
    return QString(R"({"gameId": "%1", "gameName": "%2", "imgPath": "", "isNative": false, "launcherPath": "",)"
                   R"( "steamGameId": %3, "gameMode": %4})")
        .arg(gameId, name.isEmpty() ? gameId : name)
        .arg(appId)
        .arg(mode)
        .toUtf8();
}

void TestStation::writeCatalogue(const QList<QByteArray>& entries)
{
    QByteArray list = "[";
    for (const QByteArray& entry : entries)
        list += (list.size() > 1 ? ",\n " : "") + entry;
    list += "]\n";
    writeFile(catalogueDir() + "/game/data_en.json", list);
    writeFile(catalogueDir() + "/game/data_cn.json", list);
}

QByteArray TestStation::catalogue(const QString& language) const
{
    return readFile(catalogueDir() + "/game/data_" + language + ".json");
}

QString TestStation::nativeGame(const QString& name)
{
    const QString relative = "game/native/" + name + ".sh";
    writeFile(catalogueDir() + '/' + relative,
              "#!/bin/sh\necho " + name.toUtf8() + " >> '" + m_dir.filePath("launched").toUtf8() + "'\n", true);
    return "./" + relative;
}

void TestStation::installSteamGame(int appId, const QString& name)
{
    const QString steam = home() + "/.steam/steam";
    writeFile(steam + "/steamapps/libraryfolders.vdf",
              "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.toUtf8() + "\"\n\t}\n}\n");
    writeFile(steam + QString("/steamapps/appmanifest_%1.acf").arg(appId),
              QString("\"AppState\"\n{\n\t\"appid\"\t\t\"%1\"\n\t\"name\"\t\t\"%2\"\n\t\"StateFlags\"\t\t\"4\"\n"
                      "\t\"installdir\"\t\t\"%2\"\n}\n")
                  .arg(appId)
                  .arg(name)
                  .toUtf8());
    // Steam lists the VR apps it has for the VR runtime.
    m_steamApps.insert(appId, name);
    QByteArray applications;
    for (auto it = m_steamApps.cbegin(); it != m_steamApps.cend(); ++it)
        applications += QString(R"(%1{"app_key": "steam.app.%2", "launch_type": "url", "url": "steam://launch/%2/VR",)"
                                R"( "strings": {"en_us": {"name": "%3"}}})")
                            .arg(applications.isEmpty() ? "" : ", ")
                            .arg(it.key())
                            .arg(it.value())
                            .toUtf8();
    writeFile(steam + "/config/steamapps.vrmanifest", R"({"source": "steam", "applications": [)" + applications + "]}");
}

QProcessEnvironment TestStation::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home());
    environment.insert("XDG_CONFIG_HOME", home() + "/.config");
    environment.insert("XDG_DATA_HOME", home() + "/.local/share");
    environment.insert("XDG_STATE_HOME", home() + "/.local/state");
    environment.insert("PATH", m_dir.filePath("bin") + ':' + environment.value("PATH"));
    environment.insert("NERQ_BLOCK_PREFIX", blockPrefix());
    environment.insert("NERQ_POWER_NOTES", powerNotes());
    for (auto it = m_environment.cbegin(); it != m_environment.cend(); ++it) {
        if (it.value().isEmpty())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    if (m_movableClock) {
        // Read again at every look at the clock.
        environment.insert("LD_PRELOAD", fakeTimeLibrary());
        environment.insert("FAKETIME_TIMESTAMP_FILE", m_dir.filePath("faketime"));
        environment.insert("FAKETIME_NO_CACHE", "1");
        environment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    } else if (m_clockOffset != 0) {
        environment.insert("LD_PRELOAD", fakeTimeLibrary());
        environment.insert("FAKETIME", QString::asprintf("%+d", m_clockOffset));
        environment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    }
    return environment;
}

void TestStation::useMovableClock()
{
    m_movableClock = true;
    moveClock(0);
}

void TestStation::moveClock(int seconds)
{
    writeFile(m_dir.filePath("faketime"), QString::asprintf("%+d\n", seconds).toUtf8());
}

void TestStation::addToConfig(const QByteArray& text)
{
    QFile file(m_config);
    if (file.open(QIODevice::Append))
        file.write(text);
}

QString TestStation::blockPrefix() const
{
    return qEnvironmentVariable("NERQ_BLOCK_PREFIX") + m_id + '.';
}

bool TestStation::launch()
{
    if (isRunning())
        return true;
    m_agent.setProcessEnvironment(environment());
    m_agent.start(TestPaths::tool("nerq-station"), {"--config", m_config, "--catalogue-dir", catalogueDir()});
    return m_agent.waitForStarted(5000);
}

bool TestStation::start()
{
    const int before = log().count("Broker: connected");
    return launch() && waitUntil([&] { return log().count("Broker: connected") > before || !isRunning(); }, 10000)
           && isRunning();
}

void TestStation::stop()
{
    if (!isRunning())
        return;
    m_agent.terminate();
    if (!m_agent.waitForFinished(10000)) {
        m_agent.kill();
        m_agent.waitForFinished(5000);
    }
}

void TestStation::kill()
{
    if (!isRunning())
        return;
    m_agent.kill();
    m_agent.waitForFinished(5000);
}

void TestStation::pause()
{
    ::kill(static_cast<pid_t>(m_agent.processId()), SIGSTOP);
}

void TestStation::resume()
{
    ::kill(static_cast<pid_t>(m_agent.processId()), SIGCONT);
}

QString TestStation::log() const
{
    return QString::fromUtf8(readFile(m_dir.filePath("agent.log")));
}

bool TestStation::waitForLog(const QString& text, int msecs) const
{
    return waitUntil([&] { return log().contains(text); }, msecs);
}

QStringList TestStation::launched() const
{
    return lines(m_dir.filePath("launched"));
}

QStringList TestStation::opened() const
{
    return lines(m_dir.filePath("opened"));
}

QString TestStation::gameModeText() const
{
    const QByteArray bytes = block(blockPrefix(), "Velkano_Game");
    return QString::fromLatin1(bytes.left(bytes.indexOf('\0')));
}

bool TestStation::calibrationRequested() const
{
    return block(blockPrefix(), "Velkano_Memory").startsWith("Calibration");
}

QString writeStubbornGame(const QString& path, const QString& notes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QString("#!/bin/sh\necho $$ > '%1/pid'\ntrap 'echo TERM >> \"%1/ended\"; exit 0' TERM\n"
                       "while :; do sleep 0.1; done\n")
                   .arg(notes)
                   .toUtf8());
    file.setPermissions(file.permissions() | QFile::ExeOwner);
    return path;
}

bool TestStation::installStubbornGame()
{
    const QString launcher = catalogueDir() + "/game/native/stubborn.sh";
    if (!QDir().mkpath(stubbornNotes()) || !QDir().mkpath(catalogueDir() + "/game/native")
        || writeStubbornGame(launcher, stubbornNotes()).isEmpty())
        return false;
    writeCatalogue({nativeEntry("stubborn", "./game/native/stubborn.sh", 2)});
    return true;
}

void reapStubbornGame(const QString& notes)
{
    QFile file(notes + "/pid");
    const qint64 pid = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    QFile command(QString("/proc/%1/cmdline").arg(pid));
    // Only while that pid is still the game, never a process that got its number since.
    if (pid > 1 && command.open(QIODevice::ReadOnly) && command.readAll().contains("stubborn.sh"))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

bool usePrivateRuntimeDir(const QTemporaryDir& dir)
{
    if (!dir.isValid() || !QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    return qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
}
