#include "agentstate.h"

#include "agentclock.h"
#include "safefile.h"
#include "venuejson.h"

#include <easylogging++.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <algorithm>
#include <utility>

namespace {

constexpr int kVersion = 1;
// The agent's own notes are small; anything larger is not one of them.
constexpr qint64 kMaxBytes = 1024 * 1024;

std::string text(const QString& value)
{
    return value.toStdString();
}

} // namespace

AgentState::AgentState(QString path, const AgentClock& clock)
    : m_path(std::move(path))
    , m_clock(clock)
{}

void AgentState::add(const QString& key, Save save, Load load)
{
    m_parts.push_back({key, std::move(save), std::move(load)});
}

void AgentState::load()
{
    QFile file(m_path);
    QJsonObject root;
    QString problem;
    if (!file.exists()) {
        // A first start: nothing kept yet.
    } else if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes) {
        problem = file.isOpen() ? QStringLiteral("too large") : file.errorString();
    } else if (VenueJson::readObject(file.readAll(), &root, &problem) && root.value("version").toInt() != kVersion) {
        problem = QStringLiteral("a version this agent does not know");
    }
    file.close();
    if (!problem.isEmpty()) {
        const QString aside = m_path + ".unreadable";
        QFile::remove(aside);
        LOG(WARNING) << "The agent's state " << text(m_path) << " cannot be read (" << text(problem) << "); "
                     << (QFile::rename(m_path, aside) ? "set aside as " + text(aside) : std::string("left as it is"))
                     << ", and the station starts without a session";
        root = QJsonObject();
    }
    // Unknown or empty on either side: another boot, as the safe guess.
    const QString bootId = root.value("bootId").toString();
    const qint64 savedBoot = static_cast<qint64>(root.value("bootMs").toDouble());
    const qint64 nowBoot = m_clock.bootTimeMs();
    const bool sameBoot = !bootId.isEmpty() && bootId == m_clock.bootId() && savedBoot <= nowBoot;
    const qint64 away =
        sameBoot ? nowBoot - savedBoot
                 : std::max<qint64>(0, m_clock.wallMs() - static_cast<qint64>(root.value("wallMs").toDouble()));
    const Moments moments(nowBoot - away - savedBoot, sameBoot);
    const QJsonObject parts = root.value("parts").toObject();
    for (const Part& part : m_parts)
        part.load(parts.value(part.key), moments);
}

bool AgentState::save()
{
    QJsonObject parts;
    for (const Part& part : m_parts)
        parts.insert(part.key, part.save());
    const QJsonObject root{{"version", kVersion},
                           {"bootId", m_clock.bootId()},
                           {"bootMs", double(m_clock.bootTimeMs())},
                           {"wallMs", double(m_clock.wallMs())},
                           {"parts", parts}};
    QString error;
    const QString folder = QFileInfo(m_path).absolutePath();
    StagedFile file(m_path);
    if (!QDir().mkpath(folder))
        error = "cannot create " + folder;
    else if (file.write(VenueJson::compact(root), &error, QString(), StagedFile::Sync::Yes) && file.commit(&error))
        return true;
    LOG(ERROR) << "Could not keep the agent's state in " << text(m_path) << ": " << text(error)
               << "; a restart of the agent would not find this change";
    return false;
}
