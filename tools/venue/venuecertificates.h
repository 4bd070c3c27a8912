#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextStream;
class VenueFolder;

// The venue's own certificate authority and the broker's certificate signed by it, made with the
// openssl command: the stations trust the venue's CA alone. What exists is kept; what is missing
// is made from what exists (a new broker certificate needs the CA's key).
class VenueCertificates
{
public:
    VenueCertificates(const VenueFolder& folder, QTextStream& out);

    // Makes what is missing for a broker reached as `host`, and says what it kept and made.
    bool ensure(const QString& host, QString* error);

private:
    bool ensureCa(QString* error);
    bool ensureBroker(const QString& host, QString* error);
    bool makeKey(const QString& name, QString* error);
    // Runs openssl with `input` on its standard input; its standard output, or the reason it failed.
    bool openssl(const QStringList& arguments, const QByteArray& input, QByteArray* output, QString* error) const;
    bool exists(const QString& name) const;

    const VenueFolder& m_folder;
    QTextStream& m_out;
    QString m_extensions; // the openssl configuration with the two certificates' extensions
};
