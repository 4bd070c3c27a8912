#include "pagetls.h"

#include "venuefolder.h"

#include <QStringList>

QByteArray PageTls::text() const
{
    const QString at = dir + '/';
    const QStringList lines{
        "; TLS for the desk's page, written by nerq-venue init; running init again rewrites it.",
        "; Start it, as the folder's owner, with: stunnel " + at + kFile,
        "foreground = yes",
        "pid =",
        "syslog = no",
        "debug = notice",
        "",
        "[desk page]",
        QString("accept = %1%2").arg(bindAddress.isEmpty() ? QString() : bindAddress + ':').arg(port),
        QString("connect = 127.0.0.1:%1").arg(localPort),
        "cert = " + at + VenueFolder::kBrokerCert,
        "key = " + at + VenueFolder::kBrokerKey,
        // Only for clients' certificates, which it does not ask for; without one it warns.
        "CAfile = " + at + VenueFolder::kCaCert,
        "sslVersionMin = TLSv1.2",
    };
    return (lines.join('\n') + '\n').toUtf8();
}
