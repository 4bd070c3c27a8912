#pragma once

#include "programrun.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// nerq-headset under the simulated runtime, in a folder of its own: its station.conf, the
// runtime folder where the local link lives (this process's too, so a TestAgent meets it
// there), vrsim's state, event script, call trace and frames. The session tab is the headset's
// first dashboard overlay, so its frames are in the capture folder itself; the notice's are in
// capture/nerqvr.notice.
class HeadsetRun
{
public:
    struct Frame {
        int number = 0;
        double timeMs = 0; // monotonic, as nowMs()
        QString png;
    };

    static constexpr const char* kStation = "st01";
    static constexpr const char* kNotice = "nerqvr.notice";

    // `settings` are VRSIM_* variables besides the fixture's own.
    explicit HeadsetRun(const QByteArray& language = "cn", const QMap<QByteArray, QByteArray>& settings = {});
    ~HeadsetRun();

    // The name the headset connects to, for a TestAgent.
    QString serverName() const;
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    void start();
    // As a crash would end it: no goodbye to anyone.
    void kill();
    ProgramRun& run() { return *m_run; }

    // Appends a line to the event script; the runtime reads it at its next poll.
    void script(const QByteArray& line);
    QString trace() const;
    int traced(const QString& text) const;
    bool waitForTrace(const QString& text, int times = 1, int msecs = 10000) const;

    // Frames of the session tab (empty key) or of the overlay with that key.
    QList<Frame> frames(const QString& key = QString()) const;
    QImage image(const Frame& frame, const QString& key = QString()) const;
    // Waits for a frame after `after` (a count); the new frame, or number 0 on timeout.
    Frame waitForFrame(int after, const QString& key = QString(), int msecs = 10000) const;

    static double nowMs();

private:
    QString captureDir(const QString& key) const;

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QByteArray m_savedRuntimeDir;
    std::unique_ptr<ProgramRun> m_run;
};

// Near enough in colour for a rendered pixel.
bool nearColour(const QColor& a, const QColor& b, int tolerance = 24);

// What the pages show, where the tests look.
namespace HeadsetPage {
// The colours that say what the notice is and where the help call stands.
const QColor kBlue("#1f6feb");   // time bought; help not called
const QColor kAmber("#f0a020");  // minutes left; the desk was called
const QColor kOrange("#ff7a1a"); // the last minute
const QColor kRed("#d0342c");    // time is up; the desk cannot be reached
const QColor kGreen("#2e9d5b");  // someone is coming
// The notice's accent bar, and points of the session tab.
const QPoint kNoticeAccent(12, 130);
const QPoint kHelpButton(960, 780);
const QPoint kHelpColour(380, 780);
const QPoint kDoneButton(1710, 95);
const QPoint kYesEnd(1330, 225);
const QPoint kKeepPlaying(1690, 225);
} // namespace HeadsetPage
