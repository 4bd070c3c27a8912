#pragma once

#include "brokerconfig.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real Mosquitto broker for one test: `nerq-venue init` (the built one) writes its folder, on
// free loopback ports, and the broker is started with the very command init printed; with TLS,
// stunnel in front of the desk's page too, as init printed it. The folder's
// name holds a space and a quote, as an operator's may. Every way out of the test stops the
// broker (the destructor), and a guard process kills it should the test process die first.
//
//   VenueBroker broker;
//   QVERIFY2(broker.start(), qPrintable(broker.report()));
//   const QString conf = broker.addStation("st01");     // <dir>/stations/st01.conf
//   QVERIFY2(!conf.isEmpty(), qPrintable(broker.report()));
//   const BrokerConfig desk = broker.desk();            // console.conf: user desk, its password
//   broker.stop();                                      // SIGTERM: retained messages are saved
//   QVERIFY2(broker.start(), qPrintable(broker.report()));  // same folder and ports
//
// Calls that fail return false or an empty string; report() then says why, with the log.
class VenueBroker
{
public:
    struct Options {
        bool tls = false; // init --tls: the station listener speaks TLS with the venue's CA
        // As root only: the folder is given to this ordinary user (e.g. "nobody") before init,
        // so that the broker root starts runs as that user; with startAsOwner, that user starts it.
        QString owner;
        bool startAsOwner = false;
        QString venueTool; // the nerq-venue that sets the folder up; empty: the built one
    };

    VenueBroker();
    explicit VenueBroker(const Options& options);
    ~VenueBroker();
    VenueBroker(const VenueBroker&) = delete;
    VenueBroker& operator=(const VenueBroker&) = delete;

    // Runs init on the first call; then starts the broker and waits, at most 10 s, until it
    // accepts connections.
    bool start();
    // SIGTERM, as an operator stops it (the broker saves its state); SIGKILL after 10 s.
    void stop();
    // SIGKILL: a broker that dies, leaving its pid file behind.
    void kill();
    bool isRunning();
    // nerq-venue init on the folder again, with the same host and ports and these options; the
    // next start() starts what it printed.
    bool initAgain(const QStringList& options, QString* output);
    qint64 pid() const { return m_broker.processId(); }

    QString dir() const { return m_dir; } // the venue's folder
    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    int wsPort() const { return m_wsPort; } // the page's port; with TLS stunnel's

    // nerq-venue add-station / remove-station on the folder; while the broker runs, they return
    // once it has read its files again. addStation gives the station's file, or empty.
    QString addStation(const QString& id);
    bool removeStation(const QString& id);
    // The same for a tablet or PC of the desk's: add-desk gives its file, desks/NAME.conf.
    QString addDesk(const QString& name);
    bool removeDesk(const QString& name);
    // nerq-venue with these arguments, at most 30 s; standard output and error together.
    QString runVenue(const QStringList& arguments, int* exitCode);
    // The same as the desk: a command that speaks to the broker, with --config console.conf.
    QString runDesk(const QStringList& arguments, int* exitCode);
    // The desk's credentials, as console.conf gives them.
    BrokerConfig desk() const;
    // Everything the broker logged in all its runs.
    QString log() const;
    QString report() const;

private:
    bool init();
    bool launch();
    bool launchFront();
    bool clientCommand(const QString& command, const QString& name);
    void stopGuard();

    Options m_options;
    QTemporaryDir m_base;
    QString m_dir;
    QString m_startCommand; // as init printed it
    QString m_frontCommand; // stunnel's, with TLS
    int m_port = 0;
    int m_wsPort = 0;
    int m_wsLocalPort = 0;
    QProcess m_broker;
    QProcess m_guard;
    QProcess m_front;
    QProcess m_frontGuard;
    QString m_error;
};
