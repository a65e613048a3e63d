// springboard-sim's device: its life (boot, launch, respring), its trace,
// the plugin's bubbles as it hands them over, and the picture.
#include "sim/Simulator.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "foundation/NSLog.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/RunLoop.h"
#include "runtime/PluginLoader.h"
#include "runtime/Process.h"
#include "sim/PlistJson.h"
#include "sim/Raster.h"
#include "sim/ScenarioParser.h"
#include "sim/Snapshot.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

namespace fs = std::filesystem;

std::string traceTime(double seconds) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "[%.3f]", seconds + 0.0);
    return buf;
}

Simulator::Simulator(Options options)
    : options_(std::move(options)), root_(options_.root, options_.deviceTemplate) {
    // As on the phone, the plugin's preference writes go to a daemon that
    // writes them off the home screen's thread; each command ends when
    // they are written (see execute), so a run stays deterministic.
    NSUserDefaults::setWritesDeferred(true);
    // A new device: its daemon holds no file yet.
    NSUserDefaults::forgetCopies();
    UIScreen::configure(screenWidth_, screenHeight_, screenScale_);
    // The platform's clock counts for the life of this program; a new
    // device starts its own time at zero.
    timeBase_ = -NSRunLoop::mainRunLoop().now();
    connectDevice();
}

Simulator::~Simulator() {
    NSUserDefaults::synchronize();
    Process::terminate();
    NSUserDefaults::setWritesDeferred(false);
    disconnectDevice();
}

double Simulator::now() const { return timeBase_ + NSRunLoop::mainRunLoop().now(); }

CGSize Simulator::screenSize() const {
    if (booted_ && Process::exists()) return UIScreen::mainScreen()->bounds().size;
    return {screenWidth_, screenHeight_};
}

void Simulator::endTurn() {
    if (Process::exists()) NSRunLoop::mainRunLoop().runPendingBlocks();
}

void Simulator::emit(const std::string& event) {
    if (!listening()) return;
    std::string line = traceTime(now()) + " " + event;
    if (options_.keepTrace) trace_.push_back(line);
    if (options_.output) options_.output(line);
}

// Some of the platform's observers belong to the process (the window
// server's), some to the device: all are set again after a respring.
void Simulator::connectDevice() {
    // Each observer first asks whether anyone reads the trace: a run that
    // keeps none (the benchmarks) should not pay for composing it.
    LogSink::setHandler([this](const std::string& text) {
        if (listening()) emit("log " + text);
    });
    AnimationLog::setObserver([this](const AnimationCall& call) {
        if (!listening()) return;
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", call.duration);
        emit(std::string("animate ") + duration + " options=" + std::to_string(call.options));
    });
    NSUserDefaults::setWriteObserver([this](const std::string& path, const std::string& key, const id& value, bool ok) {
        if (suppressWrites_ > 0 || !listening()) return;
        std::string file = path == kSettingsPath ? "settings" : path == kStatePath ? "state" : path;
        emit("write " + file + " " + key + "=" + plistToJson(value.get()).dump() + (ok ? "" : " failed"));
    });
    NSUserDefaults::setNoticeObserver([this](const std::string& path, PreferencesNotice notice) {
        if (!listening()) return;
        std::string file = path == kSettingsPath ? "settings" : path == kStatePath ? "state" : path;
        emit("prefsd " + file +
             (notice == PreferencesNotice::OverwroteEdit
                  ? " overwrites the file: it was changed behind the daemon's back"
                  : " replaces the file: the daemon could not read it, so it counted as empty"));
    });
    WindowServer::shared().setAlertObserver([this](const std::shared_ptr<UIAlertController>& alert, bool presented) {
        if (!listening()) return;
        if (!presented) {
            emit("alert-dismissed");
            return;
        }
        std::string line = "alert " + quoteText(alert->title()) + " " + quoteText(alert->message()) + " [";
        for (size_t i = 0; i < alert->actions().size(); ++i)
            line += (i ? ", " : "") + quoteText(alert->actions()[i]->title());
        emit(line + "]");
    });
    WindowServer::shared().setAlertActionObserver([this](const UIAlertController&, const std::string& title) {
        if (listening()) emit("alert-action " + quoteText(title));
    });
}

void Simulator::disconnectDevice() {
    LogSink::setHandler(nullptr);
    AnimationLog::setObserver(nullptr);
    NSUserDefaults::setWriteObserver(nullptr);
    NSUserDefaults::setNoticeObserver(nullptr);
}

std::string Simulator::boot(bool launch) {
    if (booted_) return "already booted (respring restarts the home screen)";
    // The files the scenario made before the phone's first start are the
    // device's as it starts: its daemon has read none of them yet. (A
    // respring leaves the daemon as it is: it is not the home screen's.)
    if (!everBooted_) NSUserDefaults::forgetCopies();
    everBooted_ = true;
    auto& host = SpringBoardHost::current();
    host.install(configuration_, [this](const std::string& line) { emit(line); }, initialState_);
    host.setRequestHandler([this](const HostRequest& r) {
        if (answers_) requests_.push_back(r);
    });
    connectDevice();
    std::vector<std::string> errors;
    PluginLoader::loadPlugins(kSpringBoardBundleIdentifier, &errors);
    for (const auto& e : errors) emit("plugin-error " + e);
    booted_ = true;
    launched_ = false;
    checkSettingsKeys({});
    return launch ? this->launch() : "";
}

// The host finishing its launch is a step of its own, so that what happens
// between the plugins' loading and the launch (a settings notification,
// say) can be tried.
std::string Simulator::launch() {
    if (launched_) return "already launched";
    launched_ = true;
    SpringBoardHost::current().finishLaunching();
    // What the home screen asked before it was up is not answered.
    requests_.clear();
    if (startsLocked_ && SpringBoardHost::current().state().uiLocked) comeUpLocked();
    return "";
}

std::string Simulator::respring() {
    configuration_ = SpringBoardHost::current().configuration();
    // Siri is not the home screen's: on a phone it outlasts a respring.
    if (answers_) initialState_.siriVisible = SpringBoardHost::current().state().siriVisible;
    double t = now();
    Process::terminate();
    booted_ = false;
    timeBase_ = t - NSRunLoop::mainRunLoop().now();
    UIScreen::configure(screenWidth_, screenHeight_, screenScale_);
    emit("respring");
    return boot();
}

std::string Simulator::resolvePath(const std::string& path) const {
    // $NAME and ${NAME} come from the environment (ctest hands the test
    // plugins' folder this way).
    std::string expanded;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '$') {
            expanded += path[i];
            continue;
        }
        size_t start = i + 1, end;
        std::string name;
        if (start < path.size() && path[start] == '{') {
            end = path.find('}', start);
            if (end == std::string::npos) {
                expanded += path.substr(i);
                break;
            }
            name = path.substr(start + 1, end - start - 1);
            i = end;
        } else {
            end = start;
            while (end < path.size() && (std::isalnum(static_cast<unsigned char>(path[end])) || path[end] == '_')) ++end;
            name = path.substr(start, end - start);
            i = end - 1;
        }
        const char* v = std::getenv(name.c_str());
        expanded += v ? v : "";
    }
    fs::path p(expanded);
    if (p.is_absolute()) return p.string();
    return (fs::path(options_.baseDirectory) / p).string();
}

std::optional<PluginInspection> Simulator::inspectPlugin(PluginInspection request) const {
    if (!Process::exists()) return std::nullopt;
    auto inspect = reinterpret_cast<PluginInspectionFunction>(PluginLoader::findSymbol(kPluginInspectionFunction));
    if (!inspect) return std::nullopt;
    inspect(&request);
    return request;
}

Json Simulator::describePlugin() {
    if (!booted_) boot(false);
    PluginInspection request;
    request.wantDescription = true;
    auto inspection = inspectPlugin(std::move(request));
    if (!inspection || !inspection->description) return nullptr;
    return plistToJson(inspection->description.get());
}

std::vector<ExportedBubble> Simulator::bubbles() const {
    auto inspection = inspectPlugin();
    return inspection ? std::move(inspection->bubbles) : std::vector<ExportedBubble>();
}

std::string Simulator::cmdSnapshot(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    std::string svg = snapshotSvg();
    if (w[1].text == "-" && !w[1].quoted) {
        // One line, for the interactive protocol.
        std::string oneLine;
        for (char c : svg) oneLine += c == '\n' ? ' ' : c;
        if (options_.output) options_.output(oneLine);
        return "";
    }
    std::string path = resolvePath(w[1].text);
    std::string extension = fs::path(path).extension().string();
    for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (extension == ".png") {
        // As the phone's own screenshot: a pixel per point at the screen's
        // scale.
        std::string error;
        const CGSize size = screenSize();
        Bitmap bitmap = rasteriseSvg(svg, static_cast<int>(std::lround(size.width * screenScale_)),
                                     static_cast<int>(std::lround(size.height * screenScale_)), error);
        if (bitmap.empty()) return "cannot draw the picture: " + error;
        return writePng(bitmap, path);
    }
    if (extension != ".svg")
        return "snapshot writes a .svg or a .png file (or - for the SVG on standard output), not " +
               quoteText(w[1].text);
    std::ofstream out(path);
    if (!out) return "cannot write " + path;
    out << svg;
    return "";
}

std::vector<SnapshotApp> Simulator::homeScreenApps() const {
    std::vector<SnapshotApp> apps;
    for (const auto& a : SpringBoardHost::current().configuration().apps)
        apps.push_back({a.bundleIdentifier, a.hasIcon, plistToJson(a.badgeValue.get())});
    return apps;
}

std::string Simulator::snapshotSvg() {
    SnapshotScene scene;
    const CGSize size = screenSize();
    scene.width = size.width;
    scene.height = size.height;
    scene.time = Process::exists() ? NSRunLoop::mainRunLoop().now() : 0;
    bool booted = booted_ && SpringBoardHost::isBooted();
    if (booted) {
        const auto& st = SpringBoardHost::current().state();
        scene.locked = st.uiLocked;
        scene.siriVisible = st.siriVisible;
        scene.controlCenter = st.controlCenterPresented;
        if (st.frontKind == FrontDisplayKind::App) scene.frontApp = st.frontBundle;
        else if (st.frontKind == FrontDisplayKind::Other) scene.frontApp = "other";
        scene.orientation = st.frontMostOrientation;
        scene.apps = homeScreenApps();
    } else {
        scene.off = true;
    }
    if (Process::exists()) {
        // What the screen shows: behind the lock screen only secure windows.
        for (const auto& win : WindowServer::shared().shownWindows()) scene.windows.push_back(win);
        scene.alert = WindowServer::shared().visibleAlert();
    }
    return renderSnapshot(scene);
}
