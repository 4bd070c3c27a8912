#pragma once

#include "headsetlink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// What the headset shows, for its pages: the session as the agent last described it, counted
// down on this machine's monotonic clock from the moment the description arrived, the notice to
// show now, the help call, and the customer's "I am done" question. Properties change only when
// what they show changes: the seconds tick only while something shows them (the session tab, or
// the countdown of the last minute), so a page at rest asks for no frame.
class HeadsetState : public QObject
{
    Q_OBJECT
    // "none", "running", "timeup" or "ended".
    Q_PROPERTY(QString session READ session NOTIFY changed)
    Q_PROPERTY(int remainingSeconds READ remainingSeconds NOTIFY changed)
    // "none", "sent", "answered" or "unreachable".
    Q_PROPERTY(QString help READ help NOTIFY changed)
    Q_PROPERTY(QString helpBy READ helpBy NOTIFY changed)
    // "none", "started" (time bought), "warning" (minutes left), "countdown" or "timeup".
    Q_PROPERTY(QString notice READ notice NOTIFY changed)
    // started: the seconds bought; warning: the seconds left when it was sent.
    Q_PROPERTY(int noticeSeconds READ noticeSeconds NOTIFY changed)
    Q_PROPERTY(int noticeMinutes READ noticeMinutes NOTIFY changed)
    Q_PROPERTY(bool confirmingDone READ confirmingDone NOTIFY changed)
    Q_PROPERTY(bool tabShown READ tabShown NOTIFY changed)

public:
    static constexpr int kStartedNoticeMs = 5000;
    static constexpr int kWarningNoticeMs = 8000;
    static constexpr int kCountdownMs = 60000;
    static constexpr int kConfirmMs = 10000;

    explicit HeadsetState(QObject* parent = nullptr);

    // Before any view: the language of the station's configuration.
    void setLanguage(ViewLanguage language);
    void setView(const HeadsetView& view);
    void showNotice(const HeadsetNotice& notice);
    // The dashboard shows the session tab, or not.
    void setTabShown(bool shown);
    // The help call could not be handed to the agent: the desk cannot be reached.
    void setHelpUnreachable();

    QString session() const;
    int remainingSeconds() const { return m_remainingSeconds; }
    QString help() const;
    QString helpBy() const;
    QString notice() const { return m_notice; }
    int noticeSeconds() const { return static_cast<int>(m_transient.seconds); }
    int noticeMinutes() const { return static_cast<int>(m_transient.minutes()); }
    bool confirmingDone() const { return m_confirmingDone; }
    bool tabShown() const { return m_tabShown; }
    ViewLanguage language() const { return m_view.language; }
    // The view says time is up and the dashboard has not been opened for it this session.
    bool wantsDashboard() const;
    void dashboardOpened() { m_dashboardOpened = true; }

    Q_INVOKABLE void callHelp();
    Q_INVOKABLE void askDone();
    Q_INVOKABLE void confirmDone();
    Q_INVOKABLE void cancelDone();

signals:
    void changed();
    void helpRequested();
    void doneConfirmed();
    void languageChanged(ViewLanguage language);

private:
    // Works out what shows now and when it next changes; `changed` when anything did, or always
    // with `force` (an input came).
    void update(bool force);
    qint64 remainingMs() const;
    QString noticeNow(qint64 remaining) const;
    void scheduleWake(qint64 remaining);

    HeadsetView m_view;
    QElapsedTimer m_viewAge;
    HeadsetNotice m_transient;
    QElapsedTimer m_transientAge;
    int m_transientMs = 0;
    bool m_helpUnreachable = false;
    bool m_tabShown = false;
    bool m_confirmingDone = false;
    bool m_dashboardOpened = false;
    QString m_notice = QStringLiteral("none");
    int m_remainingSeconds = 0;
    QTimer m_wake;
    QTimer m_confirmTimeout;
};
