#include "venuecertificates.h"

#include "venuefolder.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <openssl/rand.h>

namespace {

// Ten years, for the CA and the broker alike: a venue should not find its stations locked out
// on some morning because a certificate nobody remembers ran out.
const char kDays[] = "3650";
constexpr int kOpensslMsecs = 60000;

QString subjectAltNames(const QString& host)
{
    QStringList names{"DNS:" + host};
    if (!QHostAddress(host).isNull())
        names << "IP:" + host;
    for (const QString& local : {QStringLiteral("DNS:localhost"), QStringLiteral("IP:127.0.0.1")}) {
        if (!names.contains(local))
            names << local;
    }
    return names.join(',');
}

QString randomSerial()
{
    unsigned char bytes[16] = {};
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return QString();
    bytes[0] &= 0x7f; // a serial number is positive
    return "0x" + QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex();
}

} // namespace

VenueCertificates::VenueCertificates(const VenueFolder& folder, QTextStream& out)
    : m_folder(folder)
    , m_out(out)
{}

bool VenueCertificates::exists(const QString& name) const
{
    return QFileInfo::exists(m_folder.path(name));
}

bool VenueCertificates::ensure(const QString& host, QString* error)
{
    // openssl reads the extensions from a file; it holds nothing secret.
    QTemporaryDir temp;
    m_extensions = temp.filePath("extensions.cnf");
    QFile file(m_extensions);
    const QByteArray text = "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\n"
                            "[ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n"
                            "subjectKeyIdentifier = hash\n"
                            "[broker]\nbasicConstraints = critical, CA:FALSE\n"
                            "keyUsage = critical, digitalSignature, keyEncipherment\nextendedKeyUsage = serverAuth\n"
                            "subjectAltName = "
                            + subjectAltNames(host).toUtf8() + "\n";
    if (!temp.isValid() || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush()) {
        *error =
            "cannot write a temporary file for openssl: " + (temp.isValid() ? file.errorString() : temp.errorString());
        return false;
    }
    return ensureCa(error) && ensureBroker(host, error);
}

bool VenueCertificates::ensureCa(QString* error)
{
    if (exists(VenueFolder::kCaCert)) {
        m_out << "  " << VenueFolder::kCaCert << ": kept\n";
        return true;
    }
    QByteArray cert;
    const bool newKey = !exists(VenueFolder::kCaKey);
    if (!makeKey(VenueFolder::kCaKey, error)
        || !openssl({"req", "-config", m_extensions, "-extensions", "ca", "-x509", "-new", "-sha256", "-days", kDays,
                     "-subj", "/CN=NERQ venue CA", "-key", m_folder.path(VenueFolder::kCaKey)},
                    QByteArray(), &cert, error)
        || !m_folder.write(VenueFolder::kCaCert, cert, -1, error))
        return false;
    m_out << "  " << VenueFolder::kCaCert << (newKey ? QString(", ") + VenueFolder::kCaKey : QString())
          << ": made, valid for ten years\n";
    return true;
}

bool VenueCertificates::ensureBroker(const QString& host, QString* error)
{
    if (exists(VenueFolder::kBrokerCert) && exists(VenueFolder::kBrokerKey)) {
        // The stations check the name they reach the broker by against the certificate.
        QByteArray check;
        const QString option = QHostAddress(host).isNull() ? "-checkhost" : "-checkip";
        if (openssl({"x509", "-noout", "-in", m_folder.path(VenueFolder::kBrokerCert), option, host}, QByteArray(),
                    &check, error)
            && check.contains("NOT")) {
            m_out << "  " << VenueFolder::kBrokerCert << ": kept, but it does not name " << host
                  << ": stations will refuse the broker; remove " << VenueFolder::kBrokerCert << " and "
                  << VenueFolder::kBrokerKey << " and run init again for a new one\n";
        } else {
            m_out << "  " << VenueFolder::kBrokerCert << ", " << VenueFolder::kBrokerKey << ": kept\n";
        }
        return true;
    }
    if (!exists(VenueFolder::kCaKey)) {
        *error = QString("%1 is missing and %2, which would sign a new one, too; put the CA's key back, or remove "
                         "%3 as well for a new CA (every station then needs the new one)")
                     .arg(m_folder.path(VenueFolder::kBrokerCert), VenueFolder::kCaKey, VenueFolder::kCaCert);
        return false;
    }
    const QString serial = randomSerial();
    QByteArray request;
    QByteArray cert;
    if (serial.isEmpty()) {
        *error = "the system gave no random bytes for a certificate's serial number";
        return false;
    }
    if ((!exists(VenueFolder::kBrokerKey) && !makeKey(VenueFolder::kBrokerKey, error))
        || !openssl({"req", "-config", m_extensions, "-new", "-subj", "/CN=" + host, "-key",
                     m_folder.path(VenueFolder::kBrokerKey)},
                    QByteArray(), &request, error)
        || !openssl({"x509", "-req", "-sha256", "-days", kDays, "-set_serial", serial, "-CA",
                     m_folder.path(VenueFolder::kCaCert), "-CAkey", m_folder.path(VenueFolder::kCaKey), "-extfile",
                     m_extensions, "-extensions", "broker"},
                    request, &cert, error)
        || !m_folder.write(VenueFolder::kBrokerCert, cert, -1, error))
        return false;
    m_out << "  " << VenueFolder::kBrokerCert << ", " << VenueFolder::kBrokerKey << ": made for " << host << '\n';
    return true;
}

bool VenueCertificates::makeKey(const QString& name, QString* error)
{
    if (exists(name)) {
        m_out << "  " << name << ": kept\n";
        return true;
    }
    // The key comes through a pipe, so it lands in a file that is the owner's alone from the start.
    QByteArray key;
    return openssl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"}, QByteArray(), &key, error)
           && m_folder.write(name, key, VenueFolder::kSecret, error);
}

bool VenueCertificates::openssl(const QStringList& arguments, const QByteArray& input, QByteArray* output,
                                QString* error) const
{
    QProcess process;
    process.start("openssl", arguments);
    if (!process.waitForStarted()) {
        *error = "cannot run openssl (" + process.errorString() + "); it comes with the openssl package";
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kOpensslMsecs)) {
        process.kill();
        process.waitForFinished();
        *error = "openssl " + arguments.first() + " did not finish";
        return false;
    }
    *output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && !output->isEmpty())
        return true;
    *error =
        "openssl " + arguments.first() + " failed: " + QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return false;
}
