#include "passwordfile.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

// What mosquitto_passwd writes: PBKDF2-HMAC-SHA512, 101 rounds, a 12-byte salt, a 64-byte hash.
constexpr int kIterations = 101;
constexpr int kSaltBytes = 12;
constexpr int kHashBytes = 64;
const char kMethod[] = "7";

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        return QByteArray();
    return bytes;
}

QByteArray pbkdf2(const QString& password, const QByteArray& salt, int iterations)
{
    const QByteArray secret = password.toUtf8();
    QByteArray hash(kHashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(secret.constData(), secret.size(), reinterpret_cast<const unsigned char*>(salt.constData()),
                          salt.size(), iterations, EVP_sha512(), hash.size(),
                          reinterpret_cast<unsigned char*>(hash.data()))
        != 1)
        return QByteArray();
    return hash;
}

} // namespace

PasswordFile::PasswordFile(const QByteArray& text)
    : m_lines(QString::fromUtf8(text).split('\n'))
{
    while (!m_lines.isEmpty() && m_lines.last().trimmed().isEmpty())
        m_lines.removeLast();
}

int PasswordFile::find(const QString& user) const
{
    const QString prefix = user + ':';
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].startsWith(prefix))
            return i;
    }
    return -1;
}

bool PasswordFile::matches(const QString& user, const QString& password) const
{
    const int at = find(user);
    if (at < 0)
        return false;
    // "user:$7$<rounds>$<salt>$<hash>" splits into "user:", method, rounds, salt, hash.
    const QStringList parts = m_lines[at].trimmed().split('$');
    if (parts.size() != 5 || parts[1] != kMethod)
        return false;
    bool ok = false;
    const int iterations = parts[2].toInt(&ok);
    if (!ok || iterations < 1 || iterations > 10000000)
        return false;
    const QByteArray hash = pbkdf2(password, QByteArray::fromBase64(parts[3].toLatin1()), iterations);
    return !hash.isEmpty() && hash == QByteArray::fromBase64(parts[4].toLatin1());
}

bool PasswordFile::set(const QString& user, const QString& password)
{
    const QByteArray salt = randomBytes(kSaltBytes);
    const QByteArray hash = salt.isEmpty() ? QByteArray() : pbkdf2(password, salt, kIterations);
    if (hash.isEmpty())
        return false;
    const QString line = user + ":$" + kMethod + '$' + QString::number(kIterations) + '$'
                         + QString::fromLatin1(salt.toBase64()) + '$' + QString::fromLatin1(hash.toBase64());
    const int at = find(user);
    if (at >= 0)
        m_lines[at] = line;
    else
        m_lines << line;
    return true;
}

bool PasswordFile::remove(const QString& user)
{
    const int at = find(user);
    if (at >= 0)
        m_lines.removeAt(at);
    return at >= 0;
}

QByteArray PasswordFile::text() const
{
    return m_lines.isEmpty() ? QByteArray() : (m_lines.join('\n') + '\n').toUtf8();
}

QString PasswordFile::newPassword()
{
    const QByteArray bytes = randomBytes(18);
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}
