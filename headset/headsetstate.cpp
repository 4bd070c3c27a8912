#include "headsetstate.h"

#include <algorithm>

namespace {

const char* const kSessionNames[] = {"running", "timeup", "ended"};
const char* const kHelpNames[] = {"sent", "answered", "unreachable"};

// What a person reads: 4.2 s left is "0:05" until it is "0:04".
int shownSeconds(qint64 remainingMs)
{
    return static_cast<int>((remainingMs + 999) / 1000);
}

} // namespace

HeadsetState::HeadsetState(QObject* parent)
    : QObject(parent)
{
    m_wake.setSingleShot(true);
    // The countdown's seconds change on time, not up to 5 % late as a coarse timer may.
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, [this] { update(false); });
    m_confirmTimeout.setSingleShot(true);
    m_confirmTimeout.setInterval(kConfirmMs);
    connect(&m_confirmTimeout, &QTimer::timeout, this, &HeadsetState::cancelDone);
    m_viewAge.start();
}

void HeadsetState::setLanguage(ViewLanguage language)
{
    if (language == m_view.language)
        return;
    m_view.language = language;
    emit languageChanged(language);
}

void HeadsetState::setView(const HeadsetView& view)
{
    const ViewLanguage before = m_view.language;
    m_view = view;
    m_viewAge.restart();
    m_helpUnreachable = false;
    if (!view.session || view.session->state == SessionView::State::Ended) {
        m_dashboardOpened = false;
        m_confirmingDone = false;
    }
    if (view.language != before)
        emit languageChanged(view.language);
    update(true);
}

void HeadsetState::showNotice(const HeadsetNotice& notice)
{
    m_transient = notice;
    m_transientAge.restart();
    m_transientMs = notice.kind == HeadsetNotice::Kind::Started ? kStartedNoticeMs : kWarningNoticeMs;
    // A new session: its time's up opens the dashboard again.
    if (notice.kind == HeadsetNotice::Kind::Started)
        m_dashboardOpened = false;
    update(true);
}

void HeadsetState::setTabShown(bool shown)
{
    if (shown == m_tabShown)
        return;
    m_tabShown = shown;
    update(true);
}

void HeadsetState::setHelpUnreachable()
{
    m_helpUnreachable = true;
    update(true);
}

qint64 HeadsetState::remainingMs() const
{
    if (!m_view.session)
        return 0;
    if (m_view.session->state != SessionView::State::Running)
        return m_view.session->remainingMs;
    return std::max<qint64>(0, m_view.session->remainingMs - m_viewAge.elapsed());
}

QString HeadsetState::session() const
{
    if (!m_view.session)
        return QStringLiteral("none");
    // The agent says so a moment later; the customer sees it on time.
    if (m_view.session->state == SessionView::State::Running && remainingMs() == 0)
        return QStringLiteral("timeup");
    return QString::fromLatin1(kSessionNames[static_cast<int>(m_view.session->state)]);
}

QString HeadsetState::help() const
{
    if (m_helpUnreachable)
        return QStringLiteral("unreachable");
    return m_view.help ? QString::fromLatin1(kHelpNames[static_cast<int>(m_view.help->state)]) : QStringLiteral("none");
}

QString HeadsetState::helpBy() const
{
    return m_view.help && !m_helpUnreachable ? m_view.help->by : QString();
}

bool HeadsetState::wantsDashboard() const
{
    return m_view.session && m_view.session->state == SessionView::State::TimeUp && !m_dashboardOpened;
}

QString HeadsetState::noticeNow(qint64 remaining) const
{
    const QString state = session();
    if (state == QLatin1String("timeup"))
        return state;
    if (m_transientMs > 0 && m_transientAge.isValid() && m_transientAge.elapsed() < m_transientMs)
        return m_transient.kind == HeadsetNotice::Kind::Started ? QStringLiteral("started") : QStringLiteral("warning");
    if (state == QLatin1String("running") && remaining <= kCountdownMs)
        return QStringLiteral("countdown");
    return QStringLiteral("none");
}

void HeadsetState::update(bool force)
{
    const qint64 remaining = remainingMs();
    const QString shown = noticeNow(remaining);
    const bool noticeChanged = shown != m_notice;
    bool different = force || noticeChanged;
    m_notice = shown;
    // Seconds change only where someone reads them, so nothing else is drawn again each second.
    if (m_tabShown || noticeChanged || shown == QLatin1String("countdown")) {
        const int seconds = shownSeconds(remaining);
        different = different || seconds != m_remainingSeconds;
        m_remainingSeconds = seconds;
    }
    scheduleWake(remaining);
    if (different)
        emit changed();
}

void HeadsetState::scheduleWake(qint64 remaining)
{
    qint64 next = -1;
    const auto consider = [&next](qint64 ms) {
        if (ms >= 0 && (next < 0 || ms < next))
            next = ms;
    };
    if (m_transientMs > 0 && m_transientAge.isValid())
        consider(m_transientMs - m_transientAge.elapsed());
    if (session() == QLatin1String("running")) {
        if (m_tabShown || remaining <= kCountdownMs)
            consider((remaining - 1) % 1000 + 1); // the next whole second shown
        else
            consider(remaining - kCountdownMs);
    }
    if (next < 0) {
        m_wake.stop();
        return;
    }
    // A little late rather than early: an early wake finds nothing changed.
    m_wake.start(static_cast<int>(std::min<qint64>(next + 2, 24 * 3600 * 1000)));
}

void HeadsetState::callHelp()
{
    emit helpRequested();
}

void HeadsetState::askDone()
{
    if (!m_view.session || m_view.session->state == SessionView::State::Ended)
        return;
    m_confirmingDone = true;
    m_confirmTimeout.start();
    update(true);
}

void HeadsetState::confirmDone()
{
    if (!m_confirmingDone)
        return;
    m_confirmingDone = false;
    m_confirmTimeout.stop();
    update(true);
    emit doneConfirmed();
}

void HeadsetState::cancelDone()
{
    if (!m_confirmingDone)
        return;
    m_confirmingDone = false;
    m_confirmTimeout.stop();
    update(true);
}
