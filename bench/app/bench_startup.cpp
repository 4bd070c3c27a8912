// Desktop start-up as a person sees it: from process start to the page's window being visible,
// and the resident memory once the page is up. Needs a display (run under xvfb-run -a).

#include "benchblocks.h"
#include "procstat.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool windowVisible(qint64 pid)
{
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    search.waitForFinished();
    return !search.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BenchBlocks blocks;
    const QString binDir = QCoreApplication::applicationDirPath();
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    std::vector<double> startMs;
    std::vector<double> rssMb;
    for (int i = 0; i < runs; ++i) {
        QProcess program;
        program.setWorkingDirectory(binDir);
        program.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        program.start(QDir(binDir).filePath("NerqVRPlatform"), {"-desktop", "-english"});
        program.waitForStarted();
        while (!windowVisible(program.processId()) && timer.elapsed() < 20000)
            QThread::msleep(2);
        startMs.push_back(timer.nsecsElapsed() / 1e6);
        QThread::msleep(1500); // pictures loaded, first frames drawn
        rssMb.push_back(ProcStat::residentMegabytes(program.processId()));
        program.kill();
        program.waitForFinished();
    }
    std::sort(startMs.begin(), startMs.end());
    std::sort(rssMb.begin(), rssMb.end());
    std::printf("desktop start to visible window: median %.1f ms, best %.1f ms, worst %.1f ms (%d runs; includes "
                "xdotool polling, ~2-5 ms)\n",
                startMs[runs / 2], startMs.front(), startMs.back(), runs);
    std::printf("resident memory after start: median %.1f MB\n", rssMb[runs / 2]);
    return 0;
}
