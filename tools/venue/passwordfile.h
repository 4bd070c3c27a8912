#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The broker's password file, in the form mosquitto_passwd writes: one "user:$7$101$salt$hash"
// line a user, the hash PBKDF2-HMAC-SHA512 of the password. Lines of users that nerq-venue did
// not make (an integrator added with mosquitto_passwd) are kept as they are.
class PasswordFile
{
public:
    explicit PasswordFile(const QByteArray& text = QByteArray());

    bool has(const QString& user) const { return find(user) >= 0; }
    // Whether the user's line holds the hash of `password`.
    bool matches(const QString& user, const QString& password) const;
    // Gives the user a line for `password`, with a new salt; false when the system has no
    // randomness to give.
    bool set(const QString& user, const QString& password);
    bool remove(const QString& user);
    QByteArray text() const;

    // A new password for a client: 144 random bits in 24 characters that need no quoting in an
    // INI file or on a command line. Empty when the system has no randomness to give.
    static QString newPassword();

private:
    int find(const QString& user) const;

    QStringList m_lines;
};
