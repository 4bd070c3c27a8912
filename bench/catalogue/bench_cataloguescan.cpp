// nerq-catalogue scan over a generated Steam installation: 4 libraries, 2,000 installed apps,
// 500 of them VR with pictures in both cache layouts (and the usual pictures of every other app
// in the flat one). Times the real executable from start to exit and reads its peak memory:
// a first scan that adds the 500 games, and a scan that changes nothing, each with a warm file
// cache and, when the caches can be dropped (root), a cold one.
//   bench_cataloguescan [RUNS]        (default 5)

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kLibraries = 4;
constexpr int kApps = 2000;
constexpr int kVrEvery = 4;

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QByteArray manifest(int appId)
{
    // The size and the keys of a real app manifest.
    const QStringList lines{"\"AppState\"",
                            "{",
                            "\t\"appid\"\t\t\"%1\"",
                            "\t\"Universe\"\t\t\"1\"",
                            "\t\"name\"\t\t\"Generated App %1\"",
                            "\t\"StateFlags\"\t\t\"%2\"",
                            "\t\"installdir\"\t\t\"App %1\"",
                            "\t\"LastUpdated\"\t\t\"1700000000\"",
                            "\t\"SizeOnDisk\"\t\t\"123456789\"",
                            "\t\"buildid\"\t\t\"9876543\"",
                            "\t\"LastOwner\"\t\t\"76561190000000000\"",
                            "\t\"AutoUpdateBehavior\"\t\t\"0\"",
                            "\t\"UserConfig\"",
                            "\t{",
                            "\t\t\"language\"\t\t\"english\"",
                            "\t}",
                            "\t\"InstalledDepots\"",
                            "\t{",
                            "\t\t\"%3\"",
                            "\t\t{",
                            "\t\t\t\"manifest\"\t\t\"1234567890123456789\"",
                            "\t\t\t\"size\"\t\t\"123456789\"",
                            "\t\t}",
                            "\t}",
                            "}",
                            ""};
    return lines.join('\n').arg(appId).arg(appId % 3 ? "4" : "1030").arg(appId + 1).toUtf8();
}

// Returns the Steam folder.
// A header as Steam caches it: a 460 x 215 JPEG, here with detail enough to weigh what a real
// one does, since the scan decodes every picture it copies.
QByteArray headerPicture()
{
    QImage image(460, 215, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * y) % 256, (x * y) % 256, (x ^ y) % 256));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpg", 90);
    return buffer.data();
}

QString generate(const QString& base)
{
    const QString steam = base + "/Steam";
    QStringList libraries{steam};
    for (int i = 1; i < kLibraries; ++i)
        libraries << QString("%1/Library %2").arg(base).arg(i);
    QByteArray folders = "\"libraryfolders\"\n{\n";
    for (int i = 0; i < kLibraries; ++i)
        folders += QString("\t\"%1\"\n\t{\n\t\t\"path\"\t\t\"%2\"\n\t}\n").arg(i).arg(libraries[i]).toUtf8();
    write(steam + "/steamapps/libraryfolders.vdf", folders + "}\n");

    const QByteArray header = headerPicture();
    const QByteArray small(2 * 1024, 's');
    QByteArray vr = R"({"source": "steam", "applications": [)";
    const QString cache = steam + "/appcache/librarycache/";
    for (int i = 0; i < kApps; ++i) {
        const int appId = 100000 + i * 10;
        write(QString("%1/steamapps/appmanifest_%2.acf").arg(libraries[i % kLibraries]).arg(appId), manifest(appId));
        for (const char* name : {"library_600x900.jpg", "library_hero.jpg", "logo.png", "icon.jpg"})
            write(QString("%1%2_%3").arg(cache).arg(appId).arg(name), small);
        if (i % kVrEvery != 0) {
            write(QString("%1%2_header.jpg").arg(cache).arg(appId), small);
            continue;
        }
        vr +=
            QString("%1{\"app_key\": \"steam.app.%2\", \"launch_type\": \"url\", \"url\": \"steam://launch/%2/VR\", "
                    "\"strings\": {\"en_us\": {\"name\": \"Generated App %2\"}}, \"last_played_time\": \"1680870007\"}")
                .arg(vr.endsWith('[') ? "" : ",\n")
                .arg(appId)
                .toUtf8();
        // Half in the flat layout, half in the nested one with a hashed folder.
        if (i % (2 * kVrEvery) == 0)
            write(QString("%1%2_header.jpg").arg(cache).arg(appId), header);
        else
            write(QString("%1%2/5f2a9c1e/header.jpg").arg(cache).arg(appId), header);
    }
    write(steam + "/config/steamapps.vrmanifest", vr + "]}\n");
    return steam;
}

bool dropCaches()
{
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    const bool dropped = fd >= 0 && ::write(fd, "3", 1) == 1;
    if (fd >= 0)
        ::close(fd);
    return dropped;
}

struct Run {
    double ms = -1;
    double peakMegabytes = -1;
};

Run scan(const QString& tool, const QString& steam, const QString& catalogueDir)
{
    const QByteArray program = tool.toLocal8Bit();
    const QByteArray root = steam.toLocal8Bit();
    const QByteArray dir = catalogueDir.toLocal8Bit();
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execl(program.constData(), program.constData(), "scan", "--steam-root", root.constData(), "--catalogue-dir",
                dir.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    Run run;
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return run;
    run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    run.peakMegabytes = usage.ru_maxrss / 1024.0;
    return run;
}

void report(const char* what, std::vector<Run> runs)
{
    if (runs.empty())
        return;
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    double peak = 0;
    for (const Run& run : runs)
        peak = std::max(peak, run.peakMegabytes);
    std::printf("%-34s median %8.1f ms, best %8.1f ms, worst %8.1f ms, peak memory %6.1f MB (%zu runs)\n", what,
                runs[runs.size() / 2].ms, runs.front().ms, runs.back().ms, peak, runs.size());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString tool = QCoreApplication::applicationDirPath() + "/nerq-catalogue";
    QTemporaryDir work;
    std::printf("generating %d apps in %d libraries, %d VR, under %s\n", kApps, kLibraries, kApps / kVrEvery,
                qPrintable(work.path()));
    const QString steam = generate(work.path());
    const bool canDrop = dropCaches();
    if (!canDrop)
        std::printf("cannot drop the file caches (needs root): cold runs skipped\n");

    std::vector<Run> first[2];
    std::vector<Run> unchanged[2];
    for (int i = 0; i < runs; ++i) {
        for (const bool cold : {false, true}) {
            if (cold && !canDrop)
                continue;
            const QString dir = QString("%1/run-%2-%3").arg(work.path()).arg(i).arg(cold);
            if (cold)
                dropCaches();
            const Run added = scan(tool, steam, dir);
            if (cold)
                dropCaches();
            const Run again = scan(tool, steam, dir);
            if (added.ms < 0 || again.ms < 0) {
                std::fprintf(stderr, "scan failed\n");
                return 1;
            }
            first[cold].push_back(added);
            unchanged[cold].push_back(again);
        }
    }
    report("first scan, adds 500, warm cache", first[0]);
    report("first scan, adds 500, cold cache", first[1]);
    report("scan changing nothing, warm cache", unchanged[0]);
    report("scan changing nothing, cold cache", unchanged[1]);
    return 0;
}
