#pragma once

#include <QJsonValue>
#include <QString>

#include <functional>
#include <vector>

class AgentClock;

// What the agent keeps across its own restarts and the machine's: one file in its state folder,
// written whole (a temporary file, synced, renamed) at every change, each part under its key.
// Each save notes the boot it was made in and the boot clock and wall clock at that moment, so a
// later run can tell how long ago it was: on the same boot by the boot clock, which nobody sets;
// after a restart of the machine by the wall clock, never less than nothing.
class AgentState
{
public:
    // Where a moment that an earlier run noted on its boot clock lies on this run's.
    class Moments
    {
    public:
        Moments() = default;
        Moments(qint64 shift, bool sameBoot)
            : m_shift(shift)
            , m_sameBoot(sameBoot)
        {}
        qint64 toNow(qint64 bootMs) const { return bootMs + m_shift; }
        bool sameBoot() const { return m_sameBoot; }

    private:
        qint64 m_shift = 0;
        bool m_sameBoot = true;
    };

    using Save = std::function<QJsonValue()>;
    // `value` is undefined when the file holds nothing for the part.
    using Load = std::function<void(const QJsonValue& value, const Moments& moments)>;

    AgentState(QString path, const AgentClock& clock);

    void add(const QString& key, Save save, Load load);
    // At start: hands each part what the file holds for it. A file that cannot be read is set
    // aside as "<name>.unreadable" with a warning, and every part starts afresh.
    void load();
    // False, logged, when the file could not be written: the parts go on, but a restart would not
    // find this change.
    bool save();

    const QString& path() const { return m_path; }

private:
    struct Part {
        QString key;
        Save save;
        Load load;
    };

    QString m_path;
    const AgentClock& m_clock;
    std::vector<Part> m_parts;
};
