// springboard-sim's device: its life (boot, launch, respring), its trace,
// its clock, the plugin's bubbles as it hands them over, and the picture.
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
#include "sim/DeviceSetUp.h"
#include "sim/Expectations.h"
#include "sim/HostEvents.h"
#include "sim/PhoneBehaviour.h"
#include "sim/PlistJson.h"
#include "sim/RunOutput.h"
#include "sim/ScenarioParser.h"
#include "sim/Snapshot.h"
#include "sim/Touches.h"
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

namespace {

void disconnectDevice() {
    LogSink::setHandler(nullptr);
    AnimationLog::setObserver(nullptr);
    NSUserDefaults::setWriteObserver(nullptr);
    NSUserDefaults::setNoticeObserver(nullptr);
}

// Some of the platform's observers belong to the process (the window
// server's), some to the device: all are set again after a respring.
void connectDevice(SimulatorCore& core, const DeviceSetUp& setUp, bool listening) {
    // Each observer first asks whether anyone reads the trace: a run that
    // keeps none (the benchmarks) should not pay for composing it.
    LogSink::setHandler([&core, listening](const std::string& text) {
        if (listening) core.emit("log " + text);
    });
    AnimationLog::setObserver([&core, listening](const AnimationCall& call) {
        if (!listening) return;
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", call.duration);
        core.emit(std::string("animate ") + duration + " options=" + std::to_string(call.options));
    });
    NSUserDefaults::setWriteObserver(
        [&core, &setUp, listening](const std::string& path, const std::string& key, const id& value, bool ok) {
            if (setUp.writingItself() || !listening) return;
            std::string file = path == kSettingsPath ? "settings" : path == kStatePath ? "state" : path;
            core.emit("write " + file + " " + key + "=" + plistToJson(value.get()).dump() + (ok ? "" : " failed"));
        });
    NSUserDefaults::setNoticeObserver([&core, listening](const std::string& path, PreferencesNotice notice) {
        if (!listening) return;
        std::string file = path == kSettingsPath ? "settings" : path == kStatePath ? "state" : path;
        core.emit("prefsd " + file +
                  (notice == PreferencesNotice::OverwroteEdit
                       ? " overwrites the file: it was changed behind the daemon's back"
                       : " replaces the file: the daemon could not read it, so it counted as empty"));
    });
    WindowServer::shared().setAlertObserver(
        [&core, listening](const std::shared_ptr<UIAlertController>& alert, bool presented) {
            if (!listening) return;
            if (!presented) {
                core.emit("alert-dismissed");
                return;
            }
            std::string line = "alert " + quoteText(alert->title()) + " " + quoteText(alert->message()) + " [";
            for (size_t i = 0; i < alert->actions().size(); ++i)
                line += (i ? ", " : "") + quoteText(alert->actions()[i]->title());
            core.emit(line + "]");
        });
    WindowServer::shared().setAlertActionObserver(
        [&core, listening](const UIAlertController&, const std::string& title) {
            if (listening) core.emit("alert-action " + quoteText(title));
        });
}

} // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)),
      listening_(options_.keepTrace || static_cast<bool>(options_.output)),
      root_(options_.root, options_.deviceTemplate) {
    SimulatorCore& core = *this;
    setUp_ = std::make_unique<DeviceSetUp>(core, root_);
    hostEvents_ = std::make_unique<HostEvents>(core, *setUp_);
    phone_ = std::make_unique<PhoneBehaviour>(core, *setUp_);
    touches_ = std::make_unique<Touches>(core, *phone_);
    expectations_ = std::make_unique<Expectations>(core, *touches_);
    output_ = std::make_unique<RunOutput>(core, *setUp_, options_.output, options_.compactDump);
    // As on the phone, the plugin's preference writes go to a daemon that
    // writes them off the home screen's thread; each command ends when
    // they are written (see execute), so a run stays deterministic.
    NSUserDefaults::setWritesDeferred(true);
    // A new device: its daemon holds no file yet.
    NSUserDefaults::forgetCopies();
    UIScreen::configure(setUp_->screenWidth(), setUp_->screenHeight(), setUp_->screenScale());
    // The platform's clock counts for the life of this program; a new
    // device starts its own time at zero.
    timeBase_ = -NSRunLoop::mainRunLoop().now();
    connectDevice(*this, *setUp_, listening_);
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
    return {setUp_->screenWidth(), setUp_->screenHeight()};
}

double Simulator::screenWidth() const { return setUp_->screenWidth(); }

double Simulator::screenHeight() const { return setUp_->screenHeight(); }

double Simulator::screenScale() const { return setUp_->screenScale(); }

void Simulator::endTurn() {
    if (Process::exists()) NSRunLoop::mainRunLoop().runPendingBlocks();
}

void Simulator::emit(const std::string& event) {
    if (!listening_) return;
    std::string line = traceTime(now()) + " " + event;
    if (options_.keepTrace) trace_.push_back(line);
    if (options_.output) options_.output(line);
}

std::string Simulator::boot(bool launch) {
    if (booted_) return "already booted (respring restarts the home screen)";
    // The files the scenario made before the phone's first start are the
    // device's as it starts: its daemon has read none of them yet. (A
    // respring leaves the daemon as it is: it is not the home screen's.)
    if (!everBooted_) NSUserDefaults::forgetCopies();
    everBooted_ = true;
    auto& host = SpringBoardHost::current();
    host.install(
        setUp_->configuration(), [this](const std::string& line) { emit(line); }, setUp_->initialState());
    host.setRequestHandler([this](const HostRequest& r) { phone_->requested(r); });
    connectDevice(*this, *setUp_, listening_);
    std::vector<std::string> errors;
    PluginLoader::loadPlugins(kSpringBoardBundleIdentifier, &errors);
    for (const auto& e : errors) emit("plugin-error " + e);
    booted_ = true;
    launched_ = false;
    setUp_->booted();
    return launch ? this->launch() : "";
}

// The host finishing its launch is a step of its own, so that what happens
// between the plugins' loading and the launch (a settings notification,
// say) can be tried.
std::string Simulator::launch() {
    if (launched_) return "already launched";
    launched_ = true;
    SpringBoardHost::current().finishLaunching();
    phone_->launched();
    return "";
}

std::string Simulator::respring() {
    setUp_->configuration() = SpringBoardHost::current().configuration();
    phone_->respringing();
    double t = now();
    Process::terminate();
    booted_ = false;
    timeBase_ = t - NSRunLoop::mainRunLoop().now();
    UIScreen::configure(setUp_->screenWidth(), setUp_->screenHeight(), setUp_->screenScale());
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

// A timer due exactly at the end of the span fires in it, as in one
// advance: the last step is made to land on that same end to the bit.
void Simulator::advanceClock(double seconds) {
    auto& loop = NSRunLoop::mainRunLoop();
    const double step = watcher_ ? watcher_->frameInterval() : 0;
    if (!(step > 0) || !std::isfinite(seconds) || seconds <= 0 || !Process::exists()) {
        loop.advance(seconds);
        return;
    }
    const double end = loop.now() + seconds;
    const auto onGrid = [step](double t) { return std::fabs(t / step - std::round(t / step)) < 1e-6; };
    while (Process::exists()) {
        const double now = loop.now();
        double target = (std::floor(now / step + 1e-6) + 1) * step;
        bool frame = true;
        if (watcher_->still() && !animating()) {
            // Nothing moves until a timer fires: leap to it.
            double due = end;
            for (const auto& t : loop.timers()) due = std::min(due, t->fireTime());
            if (due > target) {
                target = due;
                frame = onGrid(due);
            }
        }
        double span = target - now;
        const bool last = !(target < end);
        if (last) {
            span = end - now;
            for (int i = 0; i < 4 && now + span < end; ++i) span = std::nextafter(span, HUGE_VAL);
            for (int i = 0; i < 4 && now + span > end; ++i) span = std::nextafter(span, -HUGE_VAL);
            frame = onGrid(end);
        }
        loop.advance(span);
        if (frame && watcher_ && Process::exists()) watcher_->clockTick();
        if (last || !(loop.now() > now)) break;
    }
    // Whatever a step could not reach (it cannot, but a clock that stalls
    // must still end where one advance would).
    if (Process::exists() && loop.now() < end) loop.advance(end - loop.now());
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

namespace {

// The apps on the home screen, in its order, as the picture draws them.
std::vector<SnapshotApp> homeScreenApps() {
    std::vector<SnapshotApp> apps;
    for (const auto& a : SpringBoardHost::current().configuration().apps)
        apps.push_back({a.bundleIdentifier, a.hasIcon, plistToJson(a.badgeValue.get())});
    return apps;
}

} // namespace

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
