#include "soak/Soak.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <ostream>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "runtime/PluginLoader.h"
#include "runtime/Process.h"
#include "sim/Simulator.h"
#include "springboard/SpringBoardHost.h"
#include "uikit/UIAlertController.h"
#include "uikit/UITouch.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

namespace fs = std::filesystem;

namespace {

volatile uint64_t gStep = 0;
volatile uint64_t gSeed = 0;

constexpr const char* kOverlayWindowClass = "FTContainingWindow";
constexpr const char* kIdleTimerSelector = "timeOut:";

// The device root, on a memory file system when there is one: the storm
// writes the files tens of thousands of times, each with an fsync.
std::string makeRoot() {
    std::error_code ec;
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path(ec).string();
    std::string pattern = base + "/ft-soak-XXXXXX";
    if (!::mkdtemp(pattern.data())) return "";
    return pattern;
}

// What the checks remember of the current boot.
struct BootRecord {
    std::vector<std::string> bundles;
    std::vector<std::shared_ptr<UIView>> views;   // dropped before every respring
    size_t overlayWindows = 0;
    size_t plugins = 0;
};

class Storm {
public:
    Storm(const SoakOptions& options, std::ostream& out)
        : options_(options), out_(out), generator_(options.seed, describedSettingKeys(options.deviceTemplate)) {}
    SoakReport run();

private:
    std::string setUp();
    std::string recordBoot(bool afterRespring);
    SoakView view() const;
    std::string runEvent(const SoakEvent& e);
    std::string checkStep(bool wrote);
    std::string checkFiles();
    std::string fullCheck();
    void inject();
    void onTrace(const std::string& line);
    void fail(uint64_t step, const std::string& why);

    SoakOptions options_;
    std::ostream& out_;
    SoakEventGenerator generator_;
    std::unique_ptr<Simulator> sim_;
    SoakReport report_;
    BootRecord boot_;
    bool choiceChanged_ = false;
    bool traceWrote_ = false;
    std::string traceProblem_;
    int directWrites_ = 0;
    static constexpr int kListCheckEvery = 16;
    int sinceListCheck_ = 0;
    std::deque<std::pair<uint64_t, std::string>> recent_;
    // --inject window: a window its owner keeps on screen and forgets to
    // hide (nothing of the platform keeps a window for its owner).
    std::shared_ptr<UIWindow> strayWindow_;
};

void Storm::onTrace(const std::string& line) {
    // "[12.345] EVENT ..."
    size_t space = line.find(' ');
    if (space == std::string::npos) return;
    std::string_view event(line.c_str() + space + 1, line.size() - space - 1);
    if (event.rfind("write ", 0) == 0) {
        traceWrote_ = true;
        if (directWrites_ > 0) return;
        ++report_.pluginWrites;
        if (event.size() >= 7 && event.substr(event.size() - 7) == " failed")
            traceProblem_ = "the plugin's write failed: " + line;
    } else if (event.rfind("plugin-error", 0) == 0) {
        traceProblem_ = "the plugin could not be loaded: " + line;
    } else if (event.rfind("alert \"", 0) == 0) {
        ++report_.alerts;
    }
}

std::string Storm::setUp() {
    std::string root = makeRoot();
    if (root.empty()) return "cannot make a device root";
    Simulator::Options o;
    o.root = root;
    o.deviceTemplate = options_.deviceTemplate;
    o.keepTrace = false;
    o.output = [this](const std::string& line) { onTrace(line); };
    sim_ = std::make_unique<Simulator>(std::move(o));
    std::vector<std::string> lines;
    std::string chosen = "state";
    for (const auto& app : soakApps()) {
        lines.push_back("app " + app.bundle + (app.options.empty() ? "" : " " + app.options));
        chosen += " FLTTILE-" + app.bundle + "=" + (app.chosen ? "true" : "false");
    }
    lines.push_back(chosen);
    lines.push_back("settings isSticky=true");
    lines.push_back("boot");
    for (const auto& line : lines)
        if (auto e = sim_->execute(line); !e.empty()) return "set-up line \"" + line + "\" failed: " + e;
    if (!traceProblem_.empty()) return traceProblem_;
    return recordBoot(false);
}

std::string Storm::recordBoot(bool afterRespring) {
    ++report_.boots;
    BootRecord now;
    for (const auto& p : PluginLoader::loaded()) {
        (void)p;
        ++now.plugins;
    }
    if (now.plugins == 0) return "no plugin was loaded at boot";
    for (auto& b : sim_->bubbles()) {
        now.bundles.push_back(b.bundle);
        now.views.push_back(b.view);
    }
    for (const auto& w : WindowServer::shared().windows())
        if (w->className() == kOverlayWindowClass) ++now.overlayWindows;
    if (now.overlayWindows != 0 && now.overlayWindows != 2)
        return std::to_string(now.overlayWindows) + " overlay windows at boot (expected 0 or 2)";
    if (afterRespring && !choiceChanged_ && boot_.overlayWindows == 2 && now.overlayWindows == 2 &&
        now.bundles != boot_.bundles) {
        std::string was, is;
        for (const auto& b : boot_.bundles) was += " " + b;
        for (const auto& b : now.bundles) is += " " + b;
        return "the bubble list changed across a respring with the same choice of apps: was" + was + ", is" + is;
    }
    choiceChanged_ = false;
    boot_ = std::move(now);
    return "";
}

SoakView Storm::view() const {
    SoakView v;
    const auto& ws = WindowServer::shared();
    for (const auto& b : boot_.views) {
        if (!b) continue;
        CGPoint c = b->center();
        CGPoint s = b->superview() ? b->superview()->convertPointToScreen(c) : c;
        if (!std::isfinite(s.x) || !std::isfinite(s.y)) continue;
        v.bubbles.push_back({s.x, s.y, b->isHidden()});
    }
    if (auto alert = ws.visibleAlert())
        for (const auto& a : alert->actions()) v.alertActions.push_back(a->title());
    if (auto touch = ws.currentTouch()) {
        v.touchActive = true;
        CGPoint p = touch->locationInView(nullptr);
        v.touchX = p.x;
        v.touchY = p.y;
    }
    return v;
}

std::string Storm::runEvent(const SoakEvent& e) {
    ++report_.counts[static_cast<size_t>(e.kind)];
    if (e.kind == SoakEventKind::Menu) ++report_.menuPicks[e.line.substr(5)];
    if (e.kind == SoakEventKind::Respring) boot_.views.clear();
    if (!e.directFile.empty()) {
        ++directWrites_;
        bool ok = NSUserDefaults::initWithSuiteName(e.directFile == "settings" ? kSettingsPath : kStatePath)
                      ->setObjectForKey(e.directValue, e.directKey);
        --directWrites_;
        if (!ok) return "the preferences store refused a write: " + e.line;
    } else if (auto result = sim_->execute(e.line); !result.empty()) {
        return "the simulator could not run \"" + e.line + "\": " + result;
    }
    if (e.notifyAfter)
        if (auto result = sim_->execute("notify settings"); !result.empty()) return "notify settings: " + result;
    if (e.changesChoice) choiceChanged_ = true;
    if (e.kind == SoakEventKind::Respring) return recordBoot(true);
    return "";
}

std::string Storm::checkFiles() {
    for (const char* file : {kSettingsPath, kStatePath}) {
        std::string path = DevicePaths::map(file);
        if (!std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(path)))
            return std::string("the file ") + file + " is not a readable dictionary after a write";
    }
    return "";
}

std::string Storm::checkStep(bool wrote) {
    if (!Process::exists() || !sim_->booted() || !SpringBoardHost::isBooted()) return "the home screen is not running";
    if (PluginLoader::loaded().size() != boot_.plugins) return "a plugin was unloaded";

    int idleTimers = 0;
    for (const auto& t : NSRunLoop::mainRunLoop().timers())
        if (t->isValid() && t->selector() == kIdleTimerSelector) ++idleTimers;
    if (idleTimers > 1) return std::to_string(idleTimers) + " idle timers are running";

    const auto& ws = WindowServer::shared();
    size_t overlay = 0;
    std::string stray;
    for (const auto& w : ws.windows()) {
        if (w->className() == kOverlayWindowClass) ++overlay;
        else if (stray.empty()) stray = w->className() + " at level " + std::to_string(w->windowLevel());
    }
    if (overlay != boot_.overlayWindows)
        return std::to_string(overlay) + " overlay windows on screen, " + std::to_string(boot_.overlayWindows) +
               " at boot";
    if (!stray.empty() && !ws.visibleAlert()) return "a window is left on screen with no alert: " + stray;

    // The bubbles built at boot are still on the overlay; every so many
    // steps the plugin's own list is compared with them, one by one.
    for (const auto& v : boot_.views) {
        UIWindow* w = v ? v->window() : nullptr;
        if (!w || w->className() != kOverlayWindowClass || w->isHidden())
            return "a bubble built at boot is no longer on the overlay";
    }
    if (++sinceListCheck_ >= kListCheckEvery) {
        sinceListCheck_ = 0;
        auto bubbles = sim_->bubbles();
        bool same = bubbles.size() == boot_.views.size();
        for (size_t i = 0; same && i < bubbles.size(); ++i) same = bubbles[i].view == boot_.views[i];
        if (!same) return "the plugin's bubble list changed since boot";
    }

    if (wrote) return checkFiles();
    return "";
}

std::string Storm::fullCheck() {
    ++report_.fullChecks;
    Json d = sim_->dump();
    std::string text = d.dump();
    if (text.empty()) return "the dump is empty";
    for (const char* which : {"settings", "state"})
        if (d["fileStatus"][which] != "ok") return std::string("the dump says the ") + which + " file is " +
                                                   d["fileStatus"][which].dump();
    int idleTimers = 0;
    for (const auto& t : d["timers"])
        if (t["handler"] == kIdleTimerSelector) ++idleTimers;
    if (idleTimers > 1) return "the dump shows " + std::to_string(idleTimers) + " idle timers";
    std::vector<std::string> bundles;
    for (const auto& b : d["bubbles"]) bundles.push_back(b["bundle"].get<std::string>());
    if (bundles != boot_.bundles) return "the dump's bubble list is not the one built at boot";
    if (d["plugin"].is_null()) return "the dump has no plugin";

    // A touch where no bubble lies must reach the home screen beneath.
    auto& ws = WindowServer::shared();
    if (ws.visibleAlert() || ws.touchActive()) return "";
    const double w = d["screen"]["width"].get<double>(), h = d["screen"]["height"].get<double>();
    std::optional<CGPoint> free;
    for (int i = 0; i < 24 && !free; ++i) {
        CGPoint p = CGPointMake(w * ((i % 4) * 2 + 1) / 8.0, h * ((i / 4) * 2 + 1) / 12.0);
        bool covered = false;
        for (const auto& v : boot_.views) {
            if (!v) continue;
            CGPoint inView = v->convertPointFromScreen(p);
            CGRect b = v->bounds();
            // A margin for a bubble turned by an orientation.
            double m = std::max(b.size.width, b.size.height) * 0.5 + 4;
            if (inView.x >= b.origin.x - m && inView.x <= b.origin.x + b.size.width + m && inView.y >= b.origin.y - m &&
                inView.y <= b.origin.y + b.size.height + m)
                covered = true;
        }
        if (!covered) free = p;
    }
    if (!free) return "";
    ++report_.probes;
    if (ws.touchDown(*free)) {
        auto v = ws.touchedView();
        ws.touchCancel();
        return "a touch at " + std::to_string(free->x) + "," + std::to_string(free->y) +
               " with no bubble under it was taken by " + (v ? v->className() : std::string("a window"));
    }
    return "";
}

void Storm::inject() {
    const std::string& what = options_.inject;
    if (what == "window") {
        strayWindow_ = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
        strayWindow_->setWindowLevel(UIWindowLevelAlert + 1.0);
        strayWindow_->setHidden(false);
    } else if (what == "timer") {
        NSTimer::scheduledTimerWithTimeInterval(1.0, std::make_shared<NSObject>(), kIdleTimerSelector, nullptr, true);
        NSTimer::scheduledTimerWithTimeInterval(1.0, std::make_shared<NSObject>(), kIdleTimerSelector, nullptr, true);
    } else if (what == "file") {
        std::string path = DevicePaths::map(kStatePath);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fputs("bplist00 torn", f);
            std::fclose(f);
        }
        traceWrote_ = true;
    } else if (what == "crash") {
        ::raise(SIGSEGV);
    }
}

void Storm::fail(uint64_t step, const std::string& why) {
    report_.passed = false;
    report_.failure = why;
    out_ << "soak: FAILED at step " << step << " (seed " << options_.seed << "): " << why << "\n";
    out_ << "soak: the last events:\n";
    for (const auto& [s, line] : recent_) out_ << "  " << s << ": " << line << "\n";
    uint64_t from = recent_.empty() ? step : recent_.front().first;
    out_ << "soak: replay with: scripts/soak" << (kSoakSanitized ? " --sanitize" : "") << " --seed " << options_.seed
         << " --events " << step + 1 << " --print-from " << from << "\n";
    out_.flush();
}

SoakReport Storm::run() {
    gSeed = options_.seed;
    auto started = std::chrono::steady_clock::now();
    std::string root;
    if (auto e = setUp(); !e.empty()) {
        fail(0, e);
    } else {
        root = sim_->root();
        report_.passed = true;
        for (uint64_t step = 0; step < options_.events; ++step) {
            gStep = step;
            SoakView seen = view();
            for (const auto& b : seen.bubbles)
                if (!b.hidden) {
                    ++report_.stepsWithVisibleBubbles;
                    break;
                }
            SoakEvent e = generator_.next(seen);
            recent_.emplace_back(step, e.line);
            if (recent_.size() > 40) recent_.pop_front();
            if (options_.printFrom >= 0 && step >= static_cast<uint64_t>(options_.printFrom))
                out_ << step << ": " << e.line << "\n";
            traceWrote_ = false;
            std::string problem = runEvent(e);
            if (!options_.inject.empty() && step == options_.injectAt) inject();
            if (problem.empty()) problem = traceProblem_;
            if (problem.empty()) problem = checkStep(e.writes || traceWrote_);
            if (problem.empty() && options_.fullCheckEvery && step % options_.fullCheckEvery == options_.fullCheckEvery - 1)
                problem = fullCheck();
            report_.steps = step + 1;
            if (!problem.empty()) {
                fail(step, problem);
                break;
            }
        }
        if (report_.passed) {
            if (auto e = fullCheck(); !e.empty()) fail(report_.steps, e);
        }
    }
    // The views are the plugin's: let go of them before the process ends.
    boot_.views.clear();
    sim_.reset();
    if (!root.empty()) {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report_;
}

} // namespace

SoakReport runSoak(const SoakOptions& options, std::ostream& out) {
    Storm storm(options, out);
    return storm.run();
}

uint64_t soakCurrentStep() { return gStep; }
uint64_t soakCurrentSeed() { return gSeed; }
