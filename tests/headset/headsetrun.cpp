#include "headsetrun.h"

#include "headsetlink.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <chrono>
#include <cstdlib>

HeadsetRun::HeadsetRun(const QByteArray& language, const QMap<QByteArray, QByteArray>& settings)
{
    QDir(m_dir.path()).mkpath("run");
    QDir(m_dir.path()).mkpath("capture");
    // QStandardPaths takes a runtime folder only when it is the user's alone.
    QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile conf(path("station.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write(QByteArray("[broker]\nhost=127.0.0.1\nport=1883\nstation=") + kStation
               + "\npassword=test\n\n[session]\nlanguage=" + language + "\n");
    conf.close();
    conf.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QFile(path("events.txt")).open(QIODevice::WriteOnly);

    m_environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : m_environment.keys())
        if (key.startsWith("VRSIM_"))
            m_environment.remove(key);
    m_environment.insert("XDG_RUNTIME_DIR", path("run"));
    m_environment.insert("VRSIM_STATE_DIR", path("state"));
    m_environment.insert("VRSIM_CAPTURE_DIR", path("capture"));
    m_environment.insert("VRSIM_CAPTURE", "all");
    m_environment.insert("VRSIM_TRACE", path("trace.txt"));
    m_environment.insert("VRSIM_EVENTS", path("events.txt"));
    // In a game, the dashboard closed.
    m_environment.insert("VRSIM_OVERLAY_VISIBLE", "0");
    for (auto it = settings.begin(); it != settings.end(); ++it)
        m_environment.insert(QString::fromUtf8(it.key()), QString::fromUtf8(it.value()));
    m_savedRuntimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", path("run").toUtf8());
}

HeadsetRun::~HeadsetRun()
{
    m_run.reset();
    qputenv("XDG_RUNTIME_DIR", m_savedRuntimeDir);
}

QString HeadsetRun::serverName() const
{
    return HeadsetLink::serverName(kStation);
}

void HeadsetRun::start()
{
    m_run = std::make_unique<ProgramRun>(m_dir.path(), QStringList{"--config", path("station.conf")}, m_environment,
                                         TestPaths::tool("nerq-headset"));
}

void HeadsetRun::kill()
{
    m_run.reset();
}

void HeadsetRun::script(const QByteArray& line)
{
    QFile file(path("events.txt"));
    file.open(QIODevice::Append);
    file.write(line + '\n');
}

QString HeadsetRun::trace() const
{
    QFile file(path("trace.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int HeadsetRun::traced(const QString& text) const
{
    return trace().count(text);
}

bool HeadsetRun::waitForTrace(const QString& text, int times, int msecs) const
{
    return QTest::qWaitFor([&] { return traced(text) >= times; }, msecs);
}

QString HeadsetRun::captureDir(const QString& key) const
{
    return key.isEmpty() ? path("capture") : path("capture/" + key);
}

QList<HeadsetRun::Frame> HeadsetRun::frames(const QString& key) const
{
    QList<Frame> found;
    QFile log(captureDir(key) + "/frames.log");
    if (!log.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray& line : log.readAll().split('\n')) {
        Frame frame;
        for (const QByteArray& field : line.split(' ')) {
            const int equals = field.indexOf('=');
            const QByteArray name = field.left(equals);
            const QByteArray value = field.mid(equals + 1);
            if (name == "frame")
                frame.number = value.toInt();
            else if (name == "time_ms")
                frame.timeMs = value.toDouble();
            else if (name == "png")
                frame.png = QString::fromUtf8(value);
        }
        if (frame.number > 0)
            found << frame;
    }
    return found;
}

QImage HeadsetRun::image(const Frame& frame, const QString& key) const
{
    return QImage(captureDir(key) + "/" + frame.png);
}

HeadsetRun::Frame HeadsetRun::waitForFrame(int after, const QString& key, int msecs) const
{
    Frame next;
    (void)QTest::qWaitFor(
        [&] {
            const QList<Frame> all = frames(key);
            if (all.size() > after)
                next = all.at(after);
            return next.number > 0;
        },
        msecs);
    return next;
}

double HeadsetRun::nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool nearColour(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}
