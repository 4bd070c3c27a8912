// The input pump over arbitrary event sequences: the bytes become overlay events queued in the
// simulated runtime, and the pump delivers them into the real English page, with the real
// context objects and a small catalogue, in the offscreen renderer. Needs a display with
// OpenGL (run it under xvfb-run).
//
// Input: one flags byte, then records of 13 bytes: a kind byte and three 32-bit words.
//   flags bit 0: deliver through the system queue instead of the overlay's queue
//   flags bits 1-3 all set: render a frame after the pump (rendering costs far more than the
//     events, so only one input in eight asks for it)
//   flags bit 4: the overlay is hidden; bit 5: the thumbnail is visible (whether a frame is
//     submitted to the runtime)
//   kind bits 0-2: move, down, up, scroll, overlay shown, quit, keyboard done, raw type
//   kind bit 3: the words are raw float bits (NaN, infinities, huge values); otherwise each
//     word is a fixed-point number with 8 fraction bits, so pixels on the page are easy to hit
//   words: x / x delta, y / y delta, button. Keyboard done: the first 8 bytes are the text up
//     to a zero byte, the third word the user value. A raw record's type is its third word and
//     the words fill the event's payload as they are.

#include "deviceblocks.h"
#include "fontsubstitutes.h"
#include "nerqoffwindow.h"
#include "qmlmanager.h"
#include "runsettings.h"
#include "sharedmemorycore.h"
#include "vrmouse.h"
#include "vroverlay.h"

#include <easylogging++.h>
#include <vrsim/control.h>

#include <QApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecordSize = 13;
// Enough for a hover, a click and a scroll in one input; more only slows every input down.
constexpr size_t kMaxRecords = 64;

// Everything lives until the process ends, as in the program; held here so the leak checker
// sees it is still in use.
struct Harness {
    fs::path workDir;
    QApplication* app = nullptr;
    QmlManager* qmlManager = nullptr;
    QQmlEngine* engine = nullptr;
    QQuickItem* page = nullptr;
    VROverlay* overlay = nullptr;
    NerqOffWindow* renderer = nullptr;
};

Harness g_harness;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_pointerpump: %s\n", what.c_str());
    std::exit(1);
}

void removeWorkDir()
{
    std::error_code ignored;
    fs::remove_all(g_harness.workDir, ignored);
}

// Clicks write the device blocks: started by hand, the fuzzer uses blocks of its own (CTest
// gives it a prefix already) and removes them at the end, so a device service never sees them.
void removeOwnBlocks()
{
    for (const char* name : {DeviceBlocks::gameModeName, DeviceBlocks::calibrationName, DeviceBlocks::quitFlagName})
        removeSharedMemory(name);
}

void useOwnDeviceBlocks()
{
    if (std::getenv("NERQ_BLOCK_PREFIX"))
        return;
    setenv("NERQ_BLOCK_PREFIX", ("nerqfuzz." + std::to_string(getpid()) + ".").c_str(), 1);
    std::atexit(removeOwnBlocks);
}

// Ten games, so the grid has more rows than it shows and scrolling moves it. Native games with
// and without a launcher program, Steam games, and one picture that does not exist.
std::string catalogue(const fs::path& launcher)
{
    static const char* const pictures[] = {"starfall", "skyline_runner", "deep_reef", "neon_velocity", "missing"};
    std::string text = "[";
    for (int i = 0; i < 10; ++i) {
        const bool native = i % 3 == 0;
        const std::string launcherPath = native && i != 3 ? launcher.string() : std::string();
        text += std::string(i ? "," : "") + "{\"gameId\": \"game-" + std::to_string(i) + "\", \"gameName\": \"Game "
                + std::to_string(i) + "\", \"imgPath\": \"../game/images/" + pictures[i % 5]
                + ".png\", \"isNative\": " + (native ? "true" : "false") + ", \"launcherPath\": \"" + launcherPath
                + "\", \"steamGameId\": " + std::to_string(1000 + i) + ", \"gameMode\": " + std::to_string(i % 4) + "}";
    }
    return text + "]";
}

// A private working directory with the page, the pictures and the catalogue. Launches go to
// /bin/true under the names of a game launcher and of xdg-open (found first on PATH): the
// launch path runs for real, but fuzzing starts no games and opens no browser.
void makeWorkDir()
{
    char pattern[] = "/tmp/nerq-fuzz-pointer-XXXXXX";
    if (!mkdtemp(pattern))
        fail("cannot make a working directory");
    const fs::path work = pattern;
    g_harness.workDir = work;
    std::atexit(removeWorkDir);

    const fs::path source = NERQ_SOURCE_DIR;
    fs::create_directories(work / "game");
    fs::create_directories(work / "bin");
    fs::create_directories(work / "vrsim");
    fs::create_directory_symlink(source / "res", work / "res");
    fs::create_directory_symlink(source / "game" / "images", work / "game" / "images");
    fs::create_symlink("/bin/true", work / "bin" / "xdg-open");
    fs::create_symlink("/bin/true", work / "bin" / "launcher");
    std::ofstream(work / "game" / "data_en.json") << catalogue(work / "bin" / "launcher");

    const char* path = std::getenv("PATH");
    setenv("PATH", ((work / "bin").string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
}

void setUpRuntime()
{
    setenv("VRSIM_STATE_DIR", (g_harness.workDir / "vrsim").c_str(), 1);
    setenv("VRSIM_OVERLAY_VISIBLE", "1", 1);
    setenv("VRSIM_THUMBNAIL_VISIBLE", "0", 1);
    for (const char* name : {"VRSIM_EVENTS", "VRSIM_TRACE", "VRSIM_CAPTURE_DIR", "VRSIM_PREVIEW", "VRSIM_INIT_ERROR",
                             "VRSIM_MISSING_INTERFACES", "VRSIM_NO_OVERLAY_INTERFACE"})
        unsetenv(name);
}

// Start-up as the program does it in VR mode, minus the quit-flag watcher (a stray byte in
// that block would end the fuzzer) and minus the event loop: the fuzzer drives the pump.
void startProgram()
{
    static int argc = 1;
    static char name[] = "fuzz_pointerpump";
    static char* argv[] = {name, nullptr};
    g_harness.app = new QApplication(argc, argv);
    installFontSubstitutes();
    language = English;

    g_harness.qmlManager = new QmlManager();
    g_harness.qmlManager->initialize();
    g_harness.engine = new QQmlEngine();
    g_harness.qmlManager->setupContext(g_harness.engine);
    QQmlComponent component(g_harness.engine, QUrl::fromLocalFile(QmlManager::mainPageFile(language)));
    QQuickItem* page = qobject_cast<QQuickItem*>(component.create());
    g_harness.page = page;
    if (!page)
        fail("the page did not load: " + component.errorString().toStdString());

    try {
        g_harness.overlay = new VROverlay();
        g_harness.overlay->init();
        g_harness.overlay->open(page);
        g_harness.renderer = new NerqOffWindow();
        g_harness.renderer->createContext();
        g_harness.renderer->connectOverlay(g_harness.overlay);
        g_harness.renderer->setRootItem(page);
    } catch (const std::exception& error) {
        fail(std::string("no overlay or renderer (is there a display?): ") + error.what());
    }
    // The grid makes its tiles while the scene is polished, i.e. in the first frame.
    g_harness.renderer->renderOverlay();
    QCoreApplication::processEvents();
}

uint32_t word(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

float number(uint32_t bits, bool rawBits)
{
    if (!rawBits)
        return static_cast<float>(static_cast<int32_t>(bits)) / 256.0f;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void queue(const vr::VREvent_t& event, bool systemQueue)
{
    if (systemQueue)
        vrsim::pushSystemEvent(event);
    else
        vrsim::pushOverlayEvent(event);
}

// Returns the type of the queued event.
uint32_t queueRecord(const uint8_t* record, bool systemQueue)
{
    static const uint32_t types[] = {vr::VREvent_MouseMove,   vr::VREvent_MouseButtonDown, vr::VREvent_MouseButtonUp,
                                     vr::VREvent_Scroll,      vr::VREvent_OverlayShown,    vr::VREvent_Quit,
                                     vr::VREvent_KeyboardDone};
    const uint8_t kind = record[0];
    const bool rawBits = (kind & 8) != 0;
    const uint32_t a = word(record + 1);
    const uint32_t b = word(record + 5);
    const uint32_t c = word(record + 9);
    const unsigned index = kind & 7;

    if (index == 7) {
        vr::VREvent_t event = vrsim::plainEvent(c);
        static_assert(sizeof(event.data) >= 8, "payload too small");
        std::memcpy(&event.data, record + 1, 8);
        queue(event, systemQueue);
        return c;
    }
    const uint32_t type = types[index];
    if (type == vr::VREvent_KeyboardDone && !systemQueue) {
        const char* text = reinterpret_cast<const char*>(record + 1);
        vrsim::pushKeyboardDone(std::string(text, strnlen(text, 8)), c);
    } else if (type == vr::VREvent_Scroll) {
        queue(vrsim::scrollEvent(number(a, rawBits), number(b, rawBits)), systemQueue);
    } else if (type == vr::VREvent_MouseMove || type == vr::VREvent_MouseButtonDown
               || type == vr::VREvent_MouseButtonUp) {
        queue(vrsim::mouseEvent(type, number(a, rawBits), number(b, rawBits), c), systemQueue);
    } else {
        queue(vrsim::plainEvent(type), systemQueue);
    }
    return type;
}

// Corpus directories, input files and the values of options naming a path or a prefix of one
// (-artifact_prefix=out/, -dict=x.dict): relative ones get the current directory in front.
void makePathArgumentsAbsolute(int* argc, char*** argv)
{
    static std::vector<std::string> storage;
    static std::vector<char*> pointers;
    const std::string cwd = fs::current_path().string() + "/";
    storage.assign(*argv, *argv + *argc);
    for (size_t i = 1; i < storage.size(); ++i) {
        std::string& arg = storage[i];
        const size_t equals = arg.find('=');
        if (arg.empty())
            continue;
        if (arg[0] != '-') {
            if (arg[0] != '/')
                arg.insert(0, cwd);
        } else if (equals != std::string::npos && equals + 1 < arg.size() && arg[equals + 1] != '/') {
            const std::string name = arg.substr(0, equals);
            const std::string value = arg.substr(equals + 1);
            if (name == "-artifact_prefix" || name == "-exact_artifact_path" || fs::exists(value))
                arg = name + "=" + cwd + value;
        }
    }
    for (std::string& arg : storage)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argv = pointers.data();
}

// Events a quit left unread are dropped, so each input starts from empty queues.
void drainQueues()
{
    vr::VREvent_t event;
    const vr::VROverlayHandle_t handle = g_harness.overlay->getOverlayHandle();
    while (vr::VROverlay()->PollNextOverlayEvent(handle, &event, sizeof event)) {
    }
    while (vr::VRSystem()->PollNextEvent(&event, sizeof event)) {
    }
}

} // namespace

// The QML engine keeps its objects, the texts they refer to and its guards of QObjects in
// memory of its own that the leak checker does not scan, so all of it looks lost; the same for
// caches of fontconfig and D-Bus. A leak of the project's own objects is still reported: it is
// found through the object, whose allocation is in our code (which uses no QPointer).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Qml.so\n"
           "leak:QArrayData::allocate\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n"
           "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Dropped pointer events and the launcher's messages are logged; silenced, inputs run
    // far faster.
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "false");
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
    if (!std::getenv("DISPLAY"))
        fail("needs a display with OpenGL; run it under xvfb-run -a");
    makeWorkDir();
    useOwnDeviceBlocks();
    setUpRuntime();
    // The program finds its page and its catalogue (at every 30-second reload too) relative to
    // the working directory, so the fuzzer runs in its own; the paths libFuzzer was given are
    // made absolute first, as it reads its options only after this function.
    makePathArgumentsAbsolute(argc, argv);
    fs::current_path(g_harness.workDir);
    startProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    const bool systemQueue = (flags & 1) != 0;
    const bool render = (flags & 0x0e) == 0x0e;
    vrsim::setOverlayVisible((flags & 0x10) == 0);
    vrsim::setThumbnailVisible((flags & 0x20) != 0);

    drainQueues();
    VRMouse::resetPumpState();
    // A fresh pump per input with its own timer, so a quit (which deletes the timer) cannot
    // leak into the next input. The timer is never started: the fuzzer calls the pump itself,
    // and without a running event loop the quit's exit request has nothing to end.
    VRMouse mouse(g_harness.overlay, g_harness.renderer, systemQueue);
    mouse.initPumpTimer();

    const size_t records = std::min((size - 1) / kRecordSize, kMaxRecords);
    bool quit = false;
    for (size_t i = 0; i < records; ++i)
        quit |= queueRecord(data + 1 + i * kRecordSize, systemQueue) == vr::VREvent_Quit;
    mouse.OnTimeoutPumpEvents();
    // One pump drains its queue completely unless a quit stopped it.
    const size_t left = systemQueue ? vrsim::pendingSystemEvents() : vrsim::pendingOverlayEvents();
    if (!quit && left != 0) {
        std::fprintf(stderr, "fuzz_pointerpump: %zu events left in the queue without a quit\n", left);
        std::abort();
    }

    // Leave the page as the next input expects it: no button held, the pointer off the page.
    drainQueues();
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonUp, -1, -1, vr::VRMouseButton_Right));
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseButtonUp, -1, -1, vr::VRMouseButton_Left));
    vrsim::pushOverlayEvent(vrsim::mouseEvent(vr::VREvent_MouseMove, -1, -1));
    VRMouse cleanup(g_harness.overlay, g_harness.renderer, false);
    cleanup.OnTimeoutPumpEvents();

    // Frames come only where the input asks for one: the render timer the pump armed would
    // otherwise fire during the next input and make every input cost a frame.
    g_harness.renderer->stop();
    if (render)
        g_harness.renderer->renderOverlay();
    // What the pump posted (a deleted timer, queued signals, due timers) runs now, without waiting.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    g_harness.renderer->stop();

    // After a quit the pump's timer is gone for good; otherwise it can still be started (the
    // pump is destroyed, timer and all, before the timer could fire).
    if (mouse.startPump() != (quit ? -1 : 0)) {
        std::fprintf(stderr, "fuzz_pointerpump: the pump timer %s a quit\n", quit ? "survived" : "is gone without");
        std::abort();
    }
    return 0;
}
