// nerq-headset against the simulated runtime, told by the headset tests' agent: from a warning
// notice sent to the first frame of the notice submitted (the notice hidden before each one, as
// in a game), then CPU and memory with a session running and nothing to show, and with the
// session tab open (its clock ticking once a second). Needs a display with OpenGL (run under
// xvfb-run -a). Arguments: [warnings] [idle seconds].

#include "headsetrun.h"
#include "procstat.h"
#include "testagent.h"

#include <QCoreApplication>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

HeadsetView longSession()
{
    HeadsetView view;
    view.session = SessionView{SessionView::State::Running, 30 * 60 * 1000, 1800, QString(), 0};
    return view;
}

// CPU share of one core and resident memory over the given time.
void measureIdle(const char* what, qint64 pid, int seconds)
{
    const double before = ProcStat::cpuMilliseconds(pid);
    QTest::qWait(seconds * 1000);
    const double used = ProcStat::cpuMilliseconds(pid) - before;
    std::printf("%-38s CPU %.2f %% of one core over %d s, resident %.1f MB (%.1f MB its own)\n", what,
                used / (seconds * 10.0), seconds, ProcStat::residentMegabytes(pid), ProcStat::privateMegabytes(pid));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // nerq-headset sits beside the benchmark.
    if (!qEnvironmentVariableIsSet("NERQ_TOOLS_DIR"))
        qputenv("NERQ_TOOLS_DIR", QCoreApplication::applicationDirPath().toUtf8());
    const int warnings = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 30;

    // Frame times only: no pixels read back in the way.
    HeadsetRun run("en", {{"VRSIM_CAPTURE", "none"}});
    TestAgent agent(run.serverName());
    agent.setView(longSession());
    if (!agent.listen())
        return 1;
    run.start();
    if (!QTest::qWaitFor([&] { return agent.runtime() && agent.runtime()->vr; }, 30000)) {
        std::fprintf(stderr, "nerq-headset did not come up:\n%s\n", qPrintable(run.run().report()));
        return 1;
    }
    QTest::qWait(2000);

    std::vector<double> latencies;
    for (int i = 0; i < warnings; ++i) {
        const int before = run.frames(HeadsetRun::kNotice).size();
        const double sent = HeadsetRun::nowMs();
        agent.sendNotice({HeadsetNotice::Kind::Warning, 300});
        const HeadsetRun::Frame frame = run.waitForFrame(before, HeadsetRun::kNotice, 5000);
        if (frame.number == 0) {
            std::fprintf(stderr, "no notice frame for warning %d\n", i + 1);
            return 1;
        }
        latencies.push_back(frame.timeMs - sent);
        // Hidden again before the next one.
        if (!run.waitForTrace("HideOverlay handle=1 -> 0", i + 1, 15000))
            return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("warning sent to its first notice frame   p50 %.1f ms, worst %.1f ms over %zu warnings\n",
                latencies[latencies.size() / 2], latencies.back(), latencies.size());

    const qint64 pid = run.run().pid();
    const int framesBefore = run.frames().size() + run.frames(HeadsetRun::kNotice).size();
    measureIdle("idle, session running, dashboard closed:", pid, idleSeconds);
    std::printf("%-38s %d\n", "frames submitted meanwhile:",
                int(run.frames().size() + run.frames(HeadsetRun::kNotice).size()) - framesBefore);
    run.script("dashboard open nerqvr.session");
    QTest::qWait(1000);
    measureIdle("session tab open, its clock ticking:", pid, std::max(5, idleSeconds / 3));
    return 0;
}
