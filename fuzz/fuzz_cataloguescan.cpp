// The whole Steam scan over a small Steam folder and catalogue folder made from the input, one
// fresh temporary folder per input. The input is a few sections, each starting with a line
// "==== <name>"; the bytes before the first one are a preamble whose first byte picks the
// options (bit 0 --prune, bit 1 --dry-run, bits 2-4 the --mode). Names:
//   libraryfolders.vdf, config/libraryfolders.vdf   the library list (steamapps/ or config/)
//   appmanifest_<id>.acf                             in the Steam folder's steamapps/
//   library2/appmanifest_<id>.acf                    in a second library, <tmp>/library2
//   steamapps.vrmanifest                             the VR manifest in config/
//   picture <path>                                   appcache/librarycache/<path>, e.g. 620980_header.jpg
//                                                    or 620980/header.jpg
//   data_en.json, data_cn.json                       the catalogues in <catalogue>/game/
//   image <name>                                     a picture already in <catalogue>/game/images/
//   include, exclude                                 app id lists given as --include / --exclude
// "$TMP" in any section but a picture stands for the temporary folder, so a library list can
// name the second library. Other names are ignored.
//
// Besides not crashing or leaking, the scan must: return 0, 1 or 2 without an exception; leave
// catalogues the program loads whole, or both byte for byte as they were when either was not;
// keep the two catalogues in step when they were; change nothing with --dry-run; and point every
// imgPath it writes into game/images/ at a file that exists and is not empty.

#include "catalogue.h"
#include "fuzzsections.h"
#include "gameitem.h"
#include "steamscan.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <tuple>
#include <vector>

namespace {

const int kModes[] = {0, 1, 2, 3, -1, 7, 9999, -999};
const char* const kCatalogues[] = {"data_en.json", "data_cn.json"};
// NERQ_FUZZ_SCAN_OUTPUT set, for replaying an input: every scan's output goes to standard error and
// its temporary folder stays.
bool g_verbose = false;

// A relative path of plain components, or empty when the name could leave its folder.
QString relativePath(const QString& name)
{
    const QStringList parts = name.split('/');
    if (parts.size() > 3)
        return {};
    for (const QString& part : parts) {
        if (part.isEmpty() || part == "." || part == ".."
            || std::any_of(part.begin(), part.end(), [](QChar c) { return c < ' ' || c == '\\'; }))
            return {};
    }
    return name;
}

struct Layout {
    QString tmp;
    QString steam;
    QString library2;
    QString catalogue;
};

// Where a section goes, or empty for a name the fuzzer does not know.
QString target(const Layout& at, const QString& name)
{
    static const QRegularExpression manifest("^(library2/)?(appmanifest_[^/\\\\]*\\.acf)$");
    const QRegularExpressionMatch m = manifest.match(name);
    if (m.hasMatch() && !relativePath(m.captured(2)).isEmpty())
        return (m.captured(1).isEmpty() ? at.steam : at.library2) + "/steamapps/" + m.captured(2);
    if (name == "libraryfolders.vdf")
        return at.steam + "/steamapps/libraryfolders.vdf";
    if (name == "config/libraryfolders.vdf" || name == "steamapps.vrmanifest")
        return at.steam + "/config/" + QFileInfo(name).fileName();
    if (name == kCatalogues[0] || name == kCatalogues[1])
        return at.catalogue + "/game/" + name;
    if (name == "include" || name == "exclude")
        return at.tmp + "/" + name + ".txt";
    const QString picture = relativePath(name.section(' ', 1));
    if (!picture.isEmpty() && name.startsWith("picture "))
        return at.steam + "/appcache/librarycache/" + picture;
    if (!picture.isEmpty() && name.startsWith("image ") && !picture.contains('/'))
        return at.catalogue + "/game/images/" + picture;
    return {};
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
           && file.write(content) == content.size();
}

// Every file and folder under `dir` with its content; folders map to a marker.
QMap<QString, QByteArray> snapshot(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const bool isFile = it.fileInfo().isFile() && file.open(QIODevice::ReadOnly);
        files.insert(path.mid(dir.size()), isFile ? file.readAll() : QByteArray("<folder>"));
    }
    return files;
}

// A catalogue file as it was before or after the scan: absent, or its bytes and how it loads.
struct CatalogueState {
    bool exists = false;
    QByteArray bytes;
    bool whole = true;                                      // an absent one counts as the empty list
    std::vector<std::tuple<QString, int, int, bool>> games; // gameId, gameMode, steamGameId, isNative
    QHash<QString, QString> imgPaths;                       // by gameId
};

CatalogueState readCatalogue(const QString& path)
{
    CatalogueState state;
    QFile file(path);
    state.exists = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
    if (!state.exists)
        return state;
    state.bytes = file.readAll();
    Catalogue catalogue;
    catalogue.readFile(path);
    state.whole = catalogue.problems().empty();
    for (int i = 0; state.whole && i < catalogue.size(); ++i) {
        const GameItem* game = catalogue.game(i);
        state.games.emplace_back(game->gameId(), game->gameMode(), game->steamGameId(), game->isNative());
        state.imgPaths.insert(game->gameId(), game->imgPath());
    }
    return state;
}

struct Run {
    QString folder;
    uint8_t flags = 0;
    int status = -1;
    QString out;
    QString err;
};

// Whole, NUL bytes of odd names included.
void print(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

void printScan(const Run& run)
{
    if (g_verbose)
        print("  folder " + run.folder + '\n');
    std::fprintf(stderr, "  options byte 0x%02x, exit status %d\n  scan output:\n", run.flags, run.status);
    print(run.out.left(6000));
    std::fprintf(stderr, "  scan errors:\n");
    print(run.err.left(2000));
}

[[noreturn]] void fail(const Run& run, const QString& what)
{
    print("cataloguescan: " + what + '\n');
    printScan(run);
    std::abort();
}

void checkCatalogues(const Run& run, const Layout& at, const CatalogueState (&before)[2],
                     const CatalogueState (&after)[2])
{
    const bool readable = before[0].whole && before[1].whole;
    for (int i = 0; i < 2; ++i) {
        const QString path = at.catalogue + "/game/" + kCatalogues[i];
        if (!readable && (after[i].exists != before[i].exists || after[i].bytes != before[i].bytes))
            fail(run, path + " changed although a catalogue was one the program would not load whole");
        if (readable && after[i].exists && !after[i].whole)
            fail(run, path + " is left as one the program would not load whole");
        if (readable && before[i].exists && after[i].bytes != before[i].bytes) {
            QFile backup(path + ".bak");
            if (!backup.open(QIODevice::ReadOnly) || backup.readAll() != before[i].bytes)
                fail(run, path + " changed, but " + path + ".bak does not hold what it was");
        }
    }
    if (!readable)
        return;
    if (before[0].games == before[1].games && after[0].games != after[1].games)
        fail(run, "the two catalogues were in step and are not any more (gameId, gameMode, steamGameId or isNative)");
    for (int i = 0; i < 2; ++i) {
        for (auto it = after[i].imgPaths.cbegin(); it != after[i].imgPaths.cend(); ++it) {
            const auto old = before[i].imgPaths.constFind(it.key());
            if (it.value().isEmpty() || (old != before[i].imgPaths.cend() && *old == it.value()))
                continue;
            // The program looks for pictures from res/ beside the catalogues' game/.
            const QString picture = QDir::cleanPath(at.catalogue + "/res/" + it.value());
            if (picture.startsWith(at.catalogue + "/game/images/")
                && (!QFileInfo(picture).isFile() || QFileInfo(picture).size() == 0))
                fail(run, QString("%1: %2 has imgPath %3, which is missing or empty")
                              .arg(kCatalogues[i], it.key(), it.value()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Qt's warnings about odd file names would bury libFuzzer's own lines.
    g_verbose = std::getenv("NERQ_FUZZ_SCAN_OUTPUT") != nullptr;
    if (!g_verbose)
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where the system has such a folder: the scan syncs each catalogue it writes
    // to disk, which on a disk takes longer than all the rest of a run.
    static const QString base = QFileInfo("/dev/shm").isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir tmp(base + "/nerq-fuzz-scan-XXXXXX");
    if (!tmp.isValid())
        std::abort();
    tmp.setAutoRemove(!g_verbose);
    const Layout at{tmp.path(), tmp.filePath("Steam"), tmp.filePath("library2"), tmp.filePath("catalogue")};
    QDir().mkpath(at.steam + "/steamapps");
    QDir().mkpath(at.library2 + "/steamapps");
    QDir().mkpath(at.catalogue);

    Run run;
    run.folder = tmp.path();
    ScanOptions options;
    for (const Section& section : splitSections(
             QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)), &run.flags)) {
        const QString path = target(at, section.name);
        if (path.isEmpty())
            continue;
        const bool picture = section.name.startsWith("picture ") || section.name.startsWith("image ");
        writeFile(path, picture ? section.content : QByteArray(section.content).replace("$TMP", at.tmp.toUtf8()));
        if (section.name == "include")
            options.includeFile = path;
        if (section.name == "exclude")
            options.excludeFile = path;
    }
    options.steamRoots = QStringList{at.steam};
    options.catalogueDir = at.catalogue;
    options.prune = (run.flags & 1) != 0;
    options.dryRun = (run.flags & 2) != 0;
    options.mode = kModes[(run.flags >> 2) & 7];

    const CatalogueState before[2] = {readCatalogue(at.catalogue + "/game/" + kCatalogues[0]),
                                      readCatalogue(at.catalogue + "/game/" + kCatalogues[1])};
    const QMap<QString, QByteArray> folderBefore = snapshot(at.catalogue);
    {
        QTextStream out(&run.out);
        QTextStream err(&run.err);
        try {
            run.status = runScan(options, out, err);
        } catch (const std::exception& e) {
            out.flush();
            err.flush();
            fail(run, QString("an exception left the scan: ") + e.what());
        } catch (...) {
            out.flush();
            err.flush();
            fail(run, "an exception of unknown type left the scan");
        }
    }
    if (run.status < 0 || run.status > 2)
        fail(run, "exit status outside 0, 1, 2");
    if (options.dryRun && snapshot(at.catalogue) != folderBefore)
        fail(run, "the catalogue folder changed in a dry run");
    const CatalogueState after[2] = {readCatalogue(at.catalogue + "/game/" + kCatalogues[0]),
                                     readCatalogue(at.catalogue + "/game/" + kCatalogues[1])};
    checkCatalogues(run, at, before, after);
    if (g_verbose)
        printScan(run);
    return 0;
}
