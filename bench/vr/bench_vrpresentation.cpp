// The program in VR mode against the simulated runtime, measured from outside as the headset
// sees it: start-up to the first submitted frame, resident memory, frames and CPU time while
// idle, and the latency from an injected pointer move to the submitted frame that shows it.
// Needs a display with OpenGL (run under xvfb-run -a). Arguments: [idle seconds] [moves]
// [program]; the program is NerqVRPlatform beside the benchmark, started there, unless another
// command is given (such as an installed nerqvrplatform, which finds its own folder).

#include "benchblocks.h"
#include "procstat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

// The simulated runtime stamps frames with the same monotonic clock.
double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Session
{
public:
    Session(const QString& binDir, const QString& program)
    {
        QFile(events()).open(QIODevice::WriteOnly);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VRSIM_STATE_DIR", m_dir.filePath("state"));
        env.insert("VRSIM_CAPTURE_DIR", m_dir.filePath("capture"));
        env.insert("VRSIM_CAPTURE", "none"); // frame times only; no read-back in the way
        env.insert("VRSIM_EVENTS", events());
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        m_program.setProcessEnvironment(env);
        m_program.setWorkingDirectory(binDir);
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_program.setStandardErrorFile(QProcess::nullDevice());
        startMs = nowMs();
        m_program.start(program, {"-english"});
        m_program.waitForStarted();
    }
    ~Session()
    {
        send("overlay quit");
        if (!m_program.waitForFinished(5000))
            m_program.kill();
        m_program.waitForFinished();
    }

    void send(const QByteArray& line)
    {
        QFile script(events());
        script.open(QIODevice::Append);
        script.write(line + '\n');
    }

    // Submission times of all frames so far.
    std::vector<double> frameTimes()
    {
        QFile log(m_dir.filePath("capture/frames.log"));
        if (log.open(QIODevice::ReadOnly)) {
            log.seek(m_logOffset);
            while (!log.atEnd()) {
                const QByteArray line = log.readLine();
                if (!line.endsWith('\n'))
                    break;
                m_logOffset += line.size();
                const int at = line.indexOf("time_ms=");
                m_times.push_back(line.mid(at + 8, line.indexOf(' ', at) - at - 8).toDouble());
            }
        }
        return m_times;
    }

    bool waitForFrames(size_t count, int timeoutMs)
    {
        const double until = nowMs() + timeoutMs;
        while (frameTimes().size() < count) {
            if (nowMs() > until || m_program.state() != QProcess::Running)
                return false;
            QThread::usleep(500);
        }
        return true;
    }

    double cpuMs() const { return ProcStat::cpuMilliseconds(m_program.processId()); }
    double residentMb() const { return ProcStat::residentMegabytes(m_program.processId()); }

    double startMs = 0;

private:
    QString events() const { return m_dir.filePath("events.txt"); }

    QTemporaryDir m_dir;
    QProcess m_program;
    qint64 m_logOffset = 0;
    std::vector<double> m_times;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * (values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BenchBlocks blocks;
    const QString binDir = QCoreApplication::applicationDirPath();
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int moves = argc > 2 ? std::max(1, atoi(argv[2])) : 200;
    const QString program = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir(binDir).filePath("NerqVRPlatform");

    Session vr(binDir, program);
    if (!vr.waitForFrames(1, 30000)) {
        std::fprintf(stderr, "no frame was submitted; is there a display with OpenGL?\n");
        return 1;
    }
    std::printf("start-up to first submitted frame: %.1f ms\n", vr.frameTimes().front() - vr.startMs);

    // Let the pictures settle before anything is counted.
    QThread::msleep(1500);
    std::printf("resident memory in VR mode: %.1f MB\n", vr.residentMb());

    const size_t framesBefore = vr.frameTimes().size();
    const double cpuBefore = vr.cpuMs();
    QThread::sleep(idleSeconds);
    const double cpuUsed = vr.cpuMs() - cpuBefore;
    std::printf("idle %d s, overlay visible, no input: %zu frames rendered after the first %zu, CPU %.1f ms "
                "(%.3f%% of one core)\n",
                idleSeconds, vr.frameTimes().size() - framesBefore, framesBefore, cpuUsed,
                100.0 * cpuUsed / (idleSeconds * 1000.0));

    // Two pixels side by side, off every tile: each move is forwarded and renders one frame,
    // and no hover change adds frames of its own.
    std::vector<double> latencies;
    for (int i = 0; i < moves; ++i) {
        const size_t before = vr.frameTimes().size();
        // Spread the injections over the pump's 20 ms period.
        QThread::usleep(30000 + (i * 7919) % 20000);
        const double injected = nowMs();
        vr.send(i % 2 ? "overlay move 60 1000" : "overlay move 61 1000");
        if (!vr.waitForFrames(before + 1, 5000)) {
            std::fprintf(stderr, "move %d produced no frame\n", i);
            return 1;
        }
        latencies.push_back(vr.frameTimes()[before] - injected);
    }
    std::printf("pointer move to submitted frame (%d moves): median %.1f ms, p95 %.1f ms, best %.1f ms, "
                "worst %.1f ms\n",
                moves, percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 0.0),
                percentile(latencies, 1.0));
    return 0;
}
