#include "recorderprogram.h"

#include "booksdatabase.h"
#include "brokerconfig.h"
#include "commandline.h"
#include "mqttclient.h"
#include "recorder.h"
#include "servicelog.h"
#include "todaysummary.h"
#include "venuewaker.h"

#include <easylogging++.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace {

const char kDescription[] =
    "The venue's recorder: keeps the books of the venue in DIR (books.sqlite): every event of every\n"
    "station once, and what the broker says of the stations. Signs in to the venue's broker with its\n"
    "own credentials (DIR/recorder.conf, written by nerq-venue init), acknowledges to each station what\n"
    "is committed, and publishes today's summary. Wakes the stations when the desk's page asks (\"Open\n"
    "the venue\": a browser cannot send the magic packets), to the broadcast addresses the stations\n"
    "reported or to --wake-to. Runs until stopped; reconnects by itself; a database\n"
    "it cannot write is tried again every 2 s. Logs to standard error.\n"
    "Exit status: 0 stopped, 1 the folder or its credentials are unusable or another recorder keeps\n"
    "its books, 2 usage error.";

const char kLockName[] = ".nerq-recorder.lock";
const char kConfigName[] = "recorder.conf";

bool lockFolder(QLockFile& lock, const QString& path, const QString& dir, QString* error)
{
    // A lock left by a recorder that died is taken over; one that runs keeps it.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString program;
    if (lock.error() == QLockFile::LockFailedError && lock.getLockInfo(&pid, &host, &program))
        *error = QString("another nerq-recorder (process %1 on %2) keeps the books of %3").arg(pid).arg(host, dir);
    else
        *error = "cannot take the lock " + path;
    return false;
}

std::function<QByteArray(qint64)> todaySummary(const QString& path)
{
    return [path](qint64 now) {
        QString problem;
        const QByteArray summary = TodaySummary::read(path, now, &problem);
        if (summary.isEmpty())
            LOG(WARNING) << "Today's summary: " << problem.toStdString();
        return summary;
    };
}

} // namespace

int runRecorder(const QStringList& arguments)
{
    CommandLine cli("nerq-recorder");
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("DIR", "The venue's folder, as nerq-venue init made it.");
    const QCommandLineOption wakeTo("wake-to", "Send the wake packets here, not to the broadcast addresses.",
                                    "ADDRESS[:PORT]");
    parser.addOption(wakeTo);
    int status = 0;
    if (!cli.parseProgram(parser, "nerq-recorder DIR [--wake-to ADDRESS[:PORT]]", arguments, &status, true))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli.usageError("give the venue's folder, one");
    VenueWaker::Settings waking;
    QString wrong;
    if (parser.isSet(wakeTo) && !(waking.to = WakeOnLan::parseTarget(parser.value(wakeTo), &wrong)))
        return cli.usageError("--wake-to: " + wrong);
    const QString dir = QDir::cleanPath(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    if (!QFileInfo(dir).isDir())
        return cli.fail(dir + " is no folder; nerq-venue init makes it");

    logToStandardError();
    const QString lockPath = dir + '/' + kLockName;
    QLockFile lock(lockPath);
    QString error;
    if (!lockFolder(lock, lockPath, dir, &error))
        return cli.fail(error);
    BrokerConfig broker;
    if (!BrokerConfig::load(dir + '/' + kConfigName, &broker, &error))
        return cli.fail(error + "; 'nerq-venue init " + dir + "' writes it");
    if (broker.station)
        return cli.fail(dir + '/' + kConfigName + ": names a station, not the recorder's user");

    MqttClient mqtt(broker, "nerq-recorder-" + broker.user);
    // Events sent while the recorder is away wait at the broker as well as in the stations.
    mqtt.setPersistentSession(true);
    logConnection(mqtt);
    Recorder::Settings settings;
    settings.databasePath = dir + '/' + BooksDatabase::kFileName;
    settings.summary = todaySummary(settings.databasePath);
    Recorder recorder(mqtt, settings);
    waking.databasePath = settings.databasePath;
    VenueWaker waker(mqtt, waking);
    LOG(INFO) << "nerq-recorder " << QCoreApplication::applicationVersion().toStdString() << ", books in "
              << settings.databasePath.toStdString() << ", broker " << broker.host.toStdString() << ':' << broker.port
              << (broker.caFile.isEmpty() ? "" : " (TLS)");
    recorder.start();
    waker.start();
    mqtt.start();
    return QCoreApplication::exec();
}
