#pragma once

#include <QString>

#include <utility>

// What carrying out a command came to: done, or failed with the reason the desk is told.
class Outcome
{
public:
    static Outcome done() { return Outcome(true, QString()); }
    static Outcome failed(QString reason) { return Outcome(false, std::move(reason)); }

    bool ok() const { return m_ok; }
    const QString& reason() const { return m_reason; }

private:
    Outcome(bool ok, QString reason)
        : m_ok(ok)
        , m_reason(std::move(reason))
    {}

    bool m_ok;
    QString m_reason;
};
