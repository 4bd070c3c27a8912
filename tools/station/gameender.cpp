#include "gameender.h"

#include "gameprocesses.h"
#include "stationgames.h"

#include <easylogging++.h>

#include <QJsonObject>
#include <QSet>

#include <utility>

using ProcessControl::Process;

namespace {

// The program, the VR runtime's own processes and Steam's, the venue's own programs; on Linux a
// command name is cut to 15 characters.
const QStringList kProtectedNames{
    "nerqvrplatform", "nerq-station",   "nerq-headset", "vrserver",  "vrcompositor", "vrcompositor-launcher",
    "vrmonitor",      "vrdashboard",    "vrwebhelper",  "vrstartup", "vrpathreg",    "steamvr",
    "steam",          "steamwebhelper", "steamservice"};

bool protectedName(QString name)
{
    name = name.toLower();
    if (name.endsWith(".exe"))
        name.chop(4);
    for (const QString& known : kProtectedNames)
        if (name == known || (name.size() == 15 && known.startsWith(name)))
            return true;
    return false;
}

// The process (when it still runs) and everything started under it since.
QList<Process> tree(qint64 pid, qint64 mark, const QList<Process>& all)
{
    QList<Process> found;
    QHash<qint64, qint64> parents{{pid, mark}}; // pid -> mark of the processes in the tree
    for (const Process& process : all)
        if (process.pid == pid && process.mark == mark)
            found << process;
    for (bool grew = true; grew;) {
        grew = false;
        for (const Process& process : all) {
            const auto parent = parents.constFind(process.parent);
            if (parent != parents.cend() && !parents.contains(process.pid) && process.mark >= parent.value()) {
                parents.insert(process.pid, process.mark);
                found << process;
                grew = true;
            }
        }
    }
    return found;
}

QString describe(const Process& process)
{
    return QString("%1 (%2)").arg(process.pid).arg(process.names.value(0));
}

} // namespace

GameEnder::GameEnder(QString catalogueDir, QObject* parent)
    : QObject(parent)
    , m_catalogueDir(std::move(catalogueDir))
{
    m_force.setSingleShot(true);
    connect(&m_force, &QTimer::timeout, this, &GameEnder::force);
}

void GameEnder::noteStarted(const QString& gameId, qint64 pid)
{
    const auto process = ProcessControl::find(pid);
    const auto self = ProcessControl::find(ProcessControl::self());
    m_started = Started{gameId, pid, process ? process->mark : 0, 0, 0};
    // A start in a session of its own (Linux) groups the game and everything it starts.
    if (process && process->group > 0 && process->group == process->session && self
        && process->session != self->session) {
        m_started.group = process->group;
        m_started.session = process->session;
    }
    emit noteChanged();
}

void GameEnder::setSceneProcess(qint64 pid)
{
    if (pid == m_scene.pid)
        return;
    const auto process = ProcessControl::find(pid);
    m_scene = process ? *process : Process();
}

QString GameEnder::protection(const Process& process, const QList<Process>& all) const
{
    const qint64 self = ProcessControl::self();
    if (process.pid <= 1)
        return "the system's own";
    if (process.pid == self)
        return "the agent itself";
    if (process.pid == m_headsetPid)
        return "nerq-headset";
    for (const QString& name : process.names)
        if (protectedName(name))
            return name + ", which is never ended";
    const Process* me = nullptr;
    for (const Process& candidate : all)
        if (candidate.pid == self)
            me = &candidate;
    if (me && me->group != 0 && process.group == me->group)
        return "in the agent's own process group";
    // Whatever started the agent, up to the system.
    for (qint64 up = me ? me->parent : 0, steps = 0; up > 1 && steps < 64; ++steps) {
        if (up == process.pid)
            return "what started the agent";
        qint64 next = 0;
        for (const Process& candidate : all)
            if (candidate.pid == up)
                next = candidate.parent;
        up = next;
    }
    return {};
}

QList<Process> GameEnder::allowed(const QList<Process>& processes, const QList<Process>& all, const QString& what) const
{
    QList<Process> kept;
    for (const Process& process : processes) {
        const QString reason = protection(process, all);
        if (reason.isEmpty())
            kept << process;
        else
            LOG(WARNING) << "Not ending process " << describe(process).toStdString() << " of " << what.toStdString()
                         << ": " << reason.toStdString();
    }
    return kept;
}

QList<Process> GameEnder::startedProcesses(const QList<Process>& all) const
{
    if (m_started.pid == 0 || m_started.mark == 0)
        return {};
    if (m_started.group == 0)
        return tree(m_started.pid, m_started.mark, all);
    QList<Process> members;
    for (const Process& process : all) {
        const bool game = process.pid == m_started.pid && process.mark == m_started.mark;
        // A live process with the group's own number came after the group's maker ended: another one.
        const bool member = process.group == m_started.group && process.session == m_started.session
                            && process.mark >= m_started.mark && process.pid != m_started.group;
        if (game || member)
            members << process;
    }
    return members;
}

GameEnder::Target GameEnder::steamGame(const QList<Process>& all) const
{
    const int appId = GameProcesses::steamRunningAppId();
    const qint64 steam = appId == kSteamVrAppId ? 0 : GameProcesses::steamGameProcess(appId);
    for (const Process& process : all)
        if (process.pid == steam)
            return {Kind::Steam, StationGames(m_catalogueDir).steamGame(appId), QString("the Steam game %1").arg(appId),
                    tree(process.pid, process.mark, all)};
    return {};
}

GameEnder::Target GameEnder::choose(const QList<Process>& all) const
{
    Target target{Kind::Started, m_started.gameId, "the game the agent started (" + m_started.gameId + ")",
                  startedProcesses(all)};
    if (target.processes.isEmpty())
        target = steamGame(all);
    if (target.processes.isEmpty() && m_scene.pid != 0) {
        for (const Process& process : all)
            if (process.pid == m_scene.pid && process.mark == m_scene.mark)
                target = {Kind::Scene, QString(), "the VR runtime's scene process", {process}};
    }
    if (target.kind != Kind::None && !target.processes.isEmpty())
        target.processes = allowed(target.processes, all, target.what);
    return target;
}

void GameEnder::end(SessionEnd reason)
{
    const QList<Process> all = ProcessControl::list();
    const Target target = choose(all);
    if (target.processes.isEmpty()) {
        LOG(INFO) << "Session over (" << sessionEndName(reason).toStdString()
                  << "): no game runs that the agent may end";
        return;
    }
    if (!m_enabled) {
        LOG(INFO) << "Session over (" << sessionEndName(reason).toStdString() << "): would end "
                  << target.what.toStdString() << "; ending games is switched off";
        return;
    }
    QStringList asked;
    for (const Process& process : target.processes)
        if (ProcessControl::askToEnd(process))
            asked << describe(process);
    LOG(INFO) << "Session over (" << sessionEndName(reason).toStdString() << "): asked " << target.what.toStdString()
              << " to end: " << asked.join(", ").toStdString() << "; ended by force in " << kForceAfterMs / 1000.0
              << " s if still running";
    m_ending = target;
    m_force.start(kForceAfterMs);
    emit gameEnded(target.gameId, reason);
}

void GameEnder::force()
{
    const QList<Process> all = ProcessControl::list();
    QList<Process> candidates = m_ending.processes;
    if (m_ending.kind == Kind::Started)
        candidates += startedProcesses(all);
    for (const Process& process : m_ending.processes)
        candidates += tree(process.pid, process.mark, all);
    QSet<qint64> seen;
    QStringList forced;
    for (const Process& process : allowed(candidates, all, m_ending.what)) {
        if (seen.contains(process.pid))
            continue;
        seen.insert(process.pid);
        if (ProcessControl::forceEnd(process))
            forced << describe(process);
    }
    if (!forced.isEmpty())
        LOG(WARNING) << m_ending.what.toStdString()
                     << " did not end when asked; ended by force: " << forced.join(", ").toStdString();
    m_ending = Target();
}

QJsonValue GameEnder::save() const
{
    if (m_started.pid == 0)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{"gameId", m_started.gameId},
                       {"pid", double(m_started.pid)},
                       {"mark", double(m_started.mark)},
                       {"group", double(m_started.group)},
                       {"session", double(m_started.session)}};
}

void GameEnder::restore(const QJsonValue& value, bool sameBoot)
{
    const QJsonObject saved = sameBoot ? value.toObject() : QJsonObject();
    m_started = Started{saved.value("gameId").toString(), static_cast<qint64>(saved.value("pid").toDouble()),
                        static_cast<qint64>(saved.value("mark").toDouble()),
                        static_cast<qint64>(saved.value("group").toDouble()),
                        static_cast<qint64>(saved.value("session").toDouble())};
}
