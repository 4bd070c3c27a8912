#include "aclfile.h"

#include "venueprotocol.h"

namespace {

bool startsBlock(const QString& line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1String("user ")) || trimmed.startsWith(QLatin1String("pattern "));
}

} // namespace

AclFile::AclFile(const QByteArray& text)
{
    if (text.isEmpty()) {
        m_lines << "# Who may read and write which topics: the desk everything of the venue, each station its own.";
        return;
    }
    m_lines = QString::fromUtf8(text).split('\n');
    while (!m_lines.isEmpty() && m_lines.last().trimmed().isEmpty())
        m_lines.removeLast();
}

int AclFile::findBlock(const QString& user) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].trimmed() == "user " + user)
            return i;
    }
    return -1;
}

int AclFile::blockEnd(int start) const
{
    int end = start + 1;
    while (end < m_lines.size() && !startsBlock(m_lines[end]))
        ++end;
    return end;
}

void AclFile::set(const QString& user, const QStringList& rules)
{
    const QStringList block = QStringList{"user " + user} + rules + QStringList{QString()};
    const int start = findBlock(user);
    if (start < 0) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << block;
        return;
    }
    m_lines.erase(m_lines.begin() + start, m_lines.begin() + blockEnd(start));
    for (int i = 0; i < block.size(); ++i)
        m_lines.insert(start + i, block[i]);
}

bool AclFile::remove(const QString& user)
{
    const int start = findBlock(user);
    if (start < 0)
        return false;
    m_lines.erase(m_lines.begin() + start, m_lines.begin() + blockEnd(start));
    return true;
}

QByteArray AclFile::text() const
{
    QStringList lines = m_lines;
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return (lines.join('\n') + '\n').toUtf8();
}

QStringList AclFile::deskRules()
{
    return {"topic readwrite " + VenueTopics::root() + '#'};
}

QStringList AclFile::recorderRules()
{
    return {"topic read " + VenueTopics::allEvents(), "topic read " + VenueTopics::allStatuses(),
            "topic read " + VenueTopics::wakeRequest(), "topic write " + VenueTopics::recorderAck("#"),
            "topic write " + VenueTopics::report("#")};
}

QStringList AclFile::stationRules(const QString& id)
{
    return {"topic write " + VenueTopics::status(id),     "topic write " + VenueTopics::results(id),
            "topic write " + VenueTopics::events(id),     "topic read " + VenueTopics::commands(id),
            "topic read " + VenueTopics::recorderAck(id), "topic read " + VenueTopics::catalogue(),
            "topic read " + VenueTopics::picture("#")};
}
