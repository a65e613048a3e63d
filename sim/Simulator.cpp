#include "sim/Simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include <unistd.h>

#include "foundation/DevicePaths.h"
#include "foundation/Foundation.h"
#include "foundation/NSBundle.h"
#include "foundation/NSLog.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/NotificationCenter.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "runtime/PluginExports.h"
#include "runtime/PluginLoader.h"
#include "runtime/Process.h"
#include "sim/PlistJson.h"
#include "sim/ScenarioParser.h"
#include "sim/Snapshot.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

namespace fs = std::filesystem;

namespace {

// Numbers in trace lines: as short as they read, no trailing zeros.
std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string quoteText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// key=value options after the positional words.
bool splitOption(const std::string& word, std::string& key, std::string& value) {
    size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

std::optional<bool> yesNo(const std::string& s) {
    if (s == "yes" || s == "true") return true;
    if (s == "no" || s == "false") return false;
    return std::nullopt;
}

std::optional<long long> parseInteger(const std::string& s) {
    auto v = parseNumber(s);
    if (!v || std::floor(*v) != *v || std::fabs(*v) > 9.0e18) return std::nullopt;
    return static_cast<long long>(*v);
}

Json rectJson(const CGRect& r) { return Json::array({r.origin.x, r.origin.y, r.size.width, r.size.height}); }

Json colorJson(const std::shared_ptr<UIColor>& c) {
    if (!c) return nullptr;
    return colorHex(c->components());
}

// A badge VALUE of the scenario: an integer becomes an NSNumber, any other
// text an NSString.
id badgeObject(const Word& w) {
    if (!w.quoted)
        if (auto i = parseInteger(w.text)) return NSNumber::numberWithInteger(*i);
    return str(w.text);
}

Json viewJson(const UIView& v) {
    Json j = Json::object();
    j["frame"] = rectJson(v.frame());
    j["center"] = Json::array({v.center().x, v.center().y});
    j["alpha"] = v.alpha();
    j["hidden"] = v.isHidden();
    return j;
}

// What is animating on a view now: its block animations ({property,
// duration, delay, options}) and its layer's added animations ({key, type,
// duration, timing}); the end values are the model values beside them.
Json animationsJson(const UIView& v) {
    Json out = Json::array();
    if (!Process::exists()) return out;
    const double now = NSRunLoop::mainRunLoop().now();
    for (const auto& a : v.animationsAt(now))
        out.push_back({{"property", UIViewAnimatablePropertyName(a.property)}, {"duration", a.duration}, {"delay", a.delay}, {"options", a.options}});
    return out;
}

Json layerAnimationsJson(const UIView& v) {
    Json out = Json::array();
    if (!Process::exists()) return out;
    for (const auto& r : v.layer()->animationsAt(NSRunLoop::mainRunLoop().now())) {
        auto* transition = dynamic_cast<const CATransition*>(r.animation.get());
        auto timing = r.animation->timingFunction();
        out.push_back({{"key", r.key},
                       {"type", transition ? Json(transition->type()) : Json(nullptr)},
                       {"duration", r.animation->duration()},
                       {"timing", timing ? Json(timing->name()) : Json(nullptr)}});
    }
    return out;
}

} // namespace

std::string traceTime(double seconds) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "[%.3f]", seconds + 0.0);
    return buf;
}

Simulator::Simulator(Options options) : options_(std::move(options)) {
    std::error_code ec;
    if (options_.root.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "springboard-sim-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) throw std::runtime_error("cannot make a temporary device root");
        root_ = buf.data();
        removeRoot_ = true;
    } else {
        fs::create_directories(options_.root, ec);
        root_ = fs::absolute(options_.root, ec).string();
    }
    if (!options_.deviceTemplate.empty() && fs::is_directory(options_.deviceTemplate, ec))
        fs::copy(options_.deviceTemplate, root_,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    fs::create_directories(fs::path(root_) / "var/mobile/Library/Preferences", ec);
    DevicePaths::setRoot(root_);
    // As on the phone, the plugin's preference writes go to a daemon that
    // writes them off the home screen's thread; each command ends when
    // they are written (see execute), so a run stays deterministic.
    NSUserDefaults::setWritesDeferred(true);
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
    if (removeRoot_) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

double Simulator::now() const { return timeBase_ + NSRunLoop::mainRunLoop().now(); }

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
        std::string file = path == kSettingsFile ? "settings" : path == kStateFile ? "state" : path;
        emit("write " + file + " " + key + "=" + plistToJson(value.get()).dump() + (ok ? "" : " failed"));
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
}

void Simulator::disconnectDevice() {
    LogSink::setHandler(nullptr);
    AnimationLog::setObserver(nullptr);
    NSUserDefaults::setWriteObserver(nullptr);
}

std::string Simulator::requireBooted() const { return booted_ ? "" : "the device has not booted (boot first)"; }

std::string Simulator::boot(bool launch) {
    if (booted_) return "already booted (respring restarts the home screen)";
    auto& host = SpringBoardHost::current();
    host.install(configuration_, [this](const std::string& line) { emit(line); }, initialState_);
    connectDevice();
    std::vector<std::string> errors;
    PluginLoader::loadPlugins(kSpringBoardBundleIdentifier, &errors);
    for (const auto& e : errors) emit("plugin-error " + e);
    booted_ = true;
    launched_ = false;
    return launch ? this->launch() : "";
}

// The host finishing its launch is a step of its own, so that what happens
// between the plugins' loading and the launch (a settings notification,
// say) can be tried.
std::string Simulator::launch() {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (launched_) return "already launched";
    launched_ = true;
    SpringBoardHost::current().finishLaunching();
    return "";
}

std::string Simulator::respring() {
    if (auto e = requireBooted(); !e.empty()) return e;
    configuration_ = SpringBoardHost::current().configuration();
    double t = now();
    Process::terminate();
    booted_ = false;
    orientationFromApp_ = false;
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

std::string Simulator::filePath(const std::string& which, std::string& error) const {
    if (which == "settings") return kSettingsFile;
    if (which == "state") return kStateFile;
    error = "expected settings or state, not " + which;
    return "";
}

std::vector<ExportedBubble> Simulator::bubbles() const {
    std::vector<ExportedBubble> out;
    if (!Process::exists()) return out;
    auto fn = reinterpret_cast<PluginExportFunction>(PluginLoader::findSymbol(kPluginExportFunction));
    if (!fn) return out;
    id exported;
    fn(&exported);
    auto dict = std::dynamic_pointer_cast<NSDictionary>(exported);
    auto list = dict ? std::dynamic_pointer_cast<NSArray>(dict->objectForKey("bubbles")) : nullptr;
    if (!list) return out;
    for (const auto& item : list->items()) {
        auto b = std::dynamic_pointer_cast<NSDictionary>(item);
        if (!b) continue;
        ExportedBubble e;
        if (auto s = std::dynamic_pointer_cast<NSString>(b->objectForKey("bundle"))) e.bundle = s->UTF8String();
        e.view = std::dynamic_pointer_cast<UIView>(b->objectForKey("view"));
        e.badgeView = std::dynamic_pointer_cast<UIView>(b->objectForKey("badgeView"));
        e.badgeLabel = std::dynamic_pointer_cast<UIView>(b->objectForKey("badgeLabel"));
        e.currentBadgeValue = b->objectForKey("currentBadgeValue");
        out.push_back(std::move(e));
    }
    return out;
}

// ---- the command table ----

std::string Simulator::execute(const std::string& line) {
    ParsedLine parsed = splitScenarioLine(line);
    if (!parsed.error.empty()) return parsed.error;
    const Words& w = parsed.words;
    if (w.empty()) return "";
    const std::string& c = w[0].text;
    std::string result;
    if (c == "screen") result = cmdScreen(w);
    else if (c == "app") result = cmdApp(w);
    else if (c == "absent") result = cmdAbsent(w);
    else if (c == "plugin") result = cmdPlugin(w);
    else if (c == "settings" || c == "state") result = cmdFileKeys(w);
    else if (c == "remove") result = cmdRemove(w);
    else if (c == "delete") result = cmdDelete(w);
    else if (c == "put") result = cmdPut(w);
    else if (c == "boot") {
        if (w.size() == 1) result = boot();
        else if (w.size() == 2 && w[1].text == "load") result = boot(false);
        else result = "usage: boot [load]";
    } else if (c == "launch") result = w.size() == 1 ? launch() : "launch takes no arguments";
    else if (c == "respring") result = w.size() == 1 ? respring() : "respring takes no arguments";
    else if (c == "notify") result = cmdNotify(w);
    else if (c == "front") result = cmdFront(w);
    else if (c == "orientation") result = cmdOrientation(w);
    else if (c == "cc") result = cmdCC(w);
    else if (c == "lockstate") result = cmdLockState(w);
    else if (c == "uilocked") result = cmdUILocked(w);
    else if (c == "query") result = cmdQuery(w);
    else if (c == "lockscreen") result = cmdLockScreen(w);
    else if (c == "passcode") result = cmdPasscode(w);
    else if (c == "badge") result = cmdBadge(w);
    else if (c == "call") result = cmdCall(w);
    else if (c == "siri") result = cmdSiri(w);
    else if (c == "touch") result = cmdTouch(w);
    else if (c == "tap") result = cmdTap(w);
    else if (c == "drag") result = cmdDrag(w);
    else if (c == "longpress") result = cmdLongPress(w);
    else if (c == "menu") result = cmdMenu(w);
    else if (c == "wait") result = cmdWait(w);
    else if (c == "expect") result = cmdExpect(w, line);
    else if (c == "dump") result = cmdDump(w);
    else if (c == "snapshot") result = cmdSnapshot(w);
    else if (c == "echo") result = cmdEcho(w);
    else result = "unknown command " + c;
    // The command's preference writes are in their files before the next
    // command runs, and its trace ends with their outcomes.
    NSUserDefaults::synchronize();
    return result;
}

// ---- device set-up ----

std::string Simulator::cmdScreen(const Words& w) {
    if (booted_) return "screen is set before boot";
    if (w.size() < 2) return "usage: screen WxH [scale=S]";
    const std::string& size = w[1].text;
    size_t x = size.find('x');
    auto width = x == std::string::npos ? std::nullopt : parseNumber(size.substr(0, x));
    auto height = x == std::string::npos ? std::nullopt : parseNumber(size.substr(x + 1));
    if (!width || !height || *width <= 0 || *height <= 0) return "bad screen size " + size + " (WxH)";
    double scale = screenScale_;
    for (size_t i = 2; i < w.size(); ++i) {
        std::string k, v;
        if (!splitOption(w[i].text, k, v) || k != "scale") return "unknown screen option " + w[i].text;
        auto s = parseNumber(v);
        if (!s || *s <= 0) return "bad scale " + v;
        scale = *s;
    }
    screenWidth_ = *width;
    screenHeight_ = *height;
    screenScale_ = scale;
    UIScreen::configure(screenWidth_, screenHeight_, screenScale_);
    return "";
}

std::string Simulator::cmdApp(const Words& w) {
    if (booted_) return "apps are installed before boot";
    if (w.size() < 2) return "usage: app BUNDLE [icon=yes|no] [badge=VALUE] [orientation=N]";
    InstalledApp app;
    app.bundleIdentifier = w[1].text;
    if (app.bundleIdentifier.empty()) return "empty bundle identifier";
    for (size_t i = 2; i < w.size(); ++i) {
        std::string k, v;
        if (!splitOption(w[i].text, k, v)) return "expected KEY=VALUE, not " + w[i].text;
        if (k == "icon") {
            auto b = yesNo(v);
            if (!b) return "icon is yes or no";
            app.hasIcon = *b;
        } else if (k == "badge") {
            Word value;
            value.text = v;
            value.quoted = w[i].raw.find('"') != std::string::npos;
            app.badgeValue = v == "none" && !value.quoted ? nullptr : badgeObject(value);
        } else if (k == "orientation") {
            auto o = parseInteger(v);
            if (!o) return "orientation is an integer";
            app.orientation = *o;
            appOrientations_.insert(app.bundleIdentifier);
        } else {
            return "unknown app option " + k;
        }
    }
    if (auto* existing = configuration_.app(app.bundleIdentifier)) *existing = app;
    else configuration_.apps.push_back(app);
    return "";
}

std::string Simulator::cmdAbsent(const Words& w) {
    if (booted_) return "absent is set before boot";
    if (w.size() != 2) return "usage: absent CLASS";
    configuration_.absentClasses.insert(w[1].text);
    return "";
}

std::string Simulator::cmdPlugin(const Words& w) {
    if (booted_) return "plugins are installed before boot";
    if (w.size() != 2) return "usage: plugin PATH.so | plugin none";
    std::error_code ec;
    fs::path dir = fs::path(root_) / std::string(kPluginDirectory).substr(1);
    if (w[1].text == "none" && !w[1].quoted) {
        fs::remove_all(dir, ec);
        fs::create_directories(dir, ec);
        return "";
    }
    fs::path lib = resolvePath(w[1].text);
    if (!fs::is_regular_file(lib, ec)) return "no plugin at " + lib.string();
    fs::create_directories(dir, ec);
    fs::copy_file(lib, dir / lib.filename(), fs::copy_options::overwrite_existing, ec);
    if (ec) return "cannot copy " + lib.string() + ": " + ec.message();
    fs::path filter = lib;
    filter.replace_extension(".plist");
    fs::path target = dir / lib.filename();
    target.replace_extension(".plist");
    std::error_code exists;
    if (fs::is_regular_file(filter, exists)) {
        fs::copy_file(filter, target, fs::copy_options::overwrite_existing, ec);
    } else {
        // No filter beside it: one that names the home screen.
        std::ofstream out(target);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Filter</key><dict>"
               "<key>Bundles</key><array><string>"
            << kSpringBoardBundleIdentifier << "</string></array></dict></dict></plist>\n";
    }
    return ec ? "cannot copy " + filter.string() + ": " + ec.message() : "";
}

// ---- files ----

namespace {
// The scenario's own writes to the device's files: made at once rather
// than through the preferences daemon, and kept out of the trace.
class SetUpWrites {
public:
    explicit SetUpWrites(int& suppress) : suppress_(suppress) {
        NSUserDefaults::synchronize();
        NSUserDefaults::setWritesDeferred(false);
        ++suppress_;
    }
    ~SetUpWrites() {
        --suppress_;
        NSUserDefaults::setWritesDeferred(true);
    }
    SetUpWrites(const SetUpWrites&) = delete;
    SetUpWrites& operator=(const SetUpWrites&) = delete;

private:
    int& suppress_;
};
} // namespace

std::string Simulator::cmdFileKeys(const Words& w) {
    std::string error;
    std::string file = filePath(w[0].text, error);
    if (w.size() < 2) return "usage: " + w[0].text + " KEY=VALUE ...";
    std::vector<std::pair<std::string, id>> entries;
    for (size_t i = 1; i < w.size(); ++i) {
        const std::string& raw = w[i].raw;
        size_t eq = raw.find('=');
        if (eq == std::string::npos || eq == 0) return "expected KEY=VALUE, not " + raw;
        std::string key = raw.substr(0, eq);
        if (key.find('"') != std::string::npos) {
            ParsedLine k = splitScenarioLine(key);
            if (k.words.size() != 1) return "bad key " + key;
            key = k.words[0].text;
        }
        auto value = parseFileValue(raw.substr(eq + 1), &error);
        if (!value) return error;
        entries.emplace_back(key, *value);
    }
    std::error_code ec;
    fs::create_directories(fs::path(DevicePaths::map(file)).parent_path(), ec);
    // The scenario's own set-up is no effect of the plugin: not traced,
    // and written before the command ends, so that a failure is its answer.
    SetUpWrites setUp(suppressWrites_);
    auto defaults = NSUserDefaults::initWithSuiteName(file);
    bool ok = true;
    for (const auto& [k, v] : entries) ok = defaults->setObjectForKey(v, k) && ok;
    return ok ? "" : "cannot write " + file;
}

std::string Simulator::cmdRemove(const Words& w) {
    if (w.size() != 3) return "usage: remove settings|state KEY";
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    SetUpWrites setUp(suppressWrites_);
    bool ok = NSUserDefaults::initWithSuiteName(file)->removeObjectForKey(w[2].text);
    return ok ? "" : "cannot write " + file;
}

std::string Simulator::cmdDelete(const Words& w) {
    if (w.size() != 2) return "usage: delete settings|state";
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    std::error_code ec;
    fs::remove(DevicePaths::map(file), ec);
    return "";
}

std::string Simulator::cmdPut(const Words& w) {
    if (w.size() != 3) return "usage: put settings|state PATH";
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    std::string source = resolvePath(w[2].text);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) return "no file " + source;
    fs::path target = DevicePaths::map(file);
    fs::create_directories(target.parent_path(), ec);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    return ec ? "cannot copy " + source + ": " + ec.message() : "";
}

// ---- host events ----

std::string Simulator::cmdNotify(const Words& w) {
    if (w.size() != 2 || w[1].text != "settings") return "usage: notify settings";
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChanged, nullptr,
                                         nullptr, true);
    return "";
}

std::string Simulator::cmdFront(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2) return "usage: front BUNDLE|home|other";
    auto& host = SpringBoardHost::current();
    auto& st = host.state();
    id display;
    const std::string& what = w[1].text;
    // An app installed with an orientation brings it to the front with it,
    // and the home screen is upright again once it leaves. Otherwise the
    // front-most orientation is what `orientation` last said.
    if (what == "home" && !w[1].quoted) {
        st.frontKind = FrontDisplayKind::Home;
        st.frontBundle.clear();
        if (orientationFromApp_) st.frontMostOrientation = UIInterfaceOrientationPortrait;
        orientationFromApp_ = false;
    } else if (what == "other" && !w[1].quoted) {
        st.frontKind = FrontDisplayKind::Other;
        st.frontBundle.clear();
        display = host.otherDisplay();
    } else {
        auto app = host.applicationWithBundleIdentifier(what);
        if (!app) return "no app " + what + " is installed";
        st.frontKind = FrontDisplayKind::App;
        st.frontBundle = what;
        const auto* installed = host.bootConfiguration().app(what);
        if (installed && appOrientations_.count(what)) {
            st.frontMostOrientation = installed->orientation;
            orientationFromApp_ = true;
        }
        display = app;
    }
    msg(std::static_pointer_cast<NSObject>(host.application()), "frontDisplayDidChange:", display);
    return "";
}

std::string Simulator::cmdOrientation(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() < 2 || w.size() > 3) return "usage: orientation N [notify=both|darwin|local|none]";
    auto n = parseInteger(w[1].text);
    if (!n) return "orientation is an integer";
    std::string notify = "both";
    if (w.size() == 3) {
        std::string k;
        if (!splitOption(w[2].text, k, notify) || k != "notify") return "unknown orientation option " + w[2].text;
        if (notify != "both" && notify != "darwin" && notify != "local" && notify != "none")
            return "notify is both, darwin, local or none";
    }
    SpringBoardHost::current().state().frontMostOrientation = *n;
    orientationFromApp_ = false;
    if (notify == "both" || notify == "darwin")
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                             "com.apple.springboard.screenchanged", nullptr, nullptr, true);
    if (notify == "both" || notify == "local")
        CFNotificationCenterPostNotification(CFNotificationCenterGetLocalCenter(), "UIWindowDidRotateNotification",
                                             nullptr, nullptr, true);
    return "";
}

std::string Simulator::cmdCC(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2 || (w[1].text != "present" && w[1].text != "dismiss")) return "usage: cc present|dismiss";
    auto& host = SpringBoardHost::current();
    bool present = w[1].text == "present";
    host.state().controlCenterPresented = present;
    msg(host.controlCenterController(), present ? "_willPresent" : "_didDismiss");
    return "";
}

std::string Simulator::cmdLockState(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2) return "usage: lockstate N";
    auto n = parseInteger(w[1].text);
    if (!n) return "lockstate is an integer";
    auto& host = SpringBoardHost::current();
    host.state().lockState = static_cast<uint64_t>(*n);
    msg(host.lockStateAggregator(), "_updateLockState");
    return "";
}

// Before boot the answer is the one every boot of this device starts with.
std::string Simulator::cmdUILocked(const Words& w) {
    auto b = w.size() == 2 ? yesNo(w[1].text) : std::nullopt;
    if (!b) return "usage: uilocked yes|no";
    (booted_ ? SpringBoardHost::current().state() : initialState_).uiLocked = *b;
    return "";
}

std::string Simulator::cmdQuery(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2 || w[1].text != "uilocked") return "usage: query uilocked";
    msg(SpringBoardHost::current().lockScreenManager(), "isUILocked");
    return "";
}

std::string Simulator::cmdLockScreen(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2 || w[1].text != "dismiss") return "usage: lockscreen dismiss";
    msg(SpringBoardHost::current().lockScreenManager(), "lockScreenViewControllerWillDismiss");
    return "";
}

std::string Simulator::cmdPasscode(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2 || (w[1].text != "appear" && w[1].text != "disappear")) return "usage: passcode appear|disappear";
    auto& host = SpringBoardHost::current();
    bool appear = w[1].text == "appear";
    host.state().passcodeVisible = appear;
    msg(host.passcodeViewController(), appear ? "viewDidAppear:" : "viewDidDisappear:", true);
    return "";
}

std::string Simulator::cmdBadge(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 3) return "usage: badge BUNDLE VALUE|none";
    auto app = SpringBoardHost::current().applicationWithBundleIdentifier(w[1].text);
    if (!app) return "no app " + w[1].text + " is installed";
    id value = (w[2].text == "none" && !w[2].quoted) ? nullptr : badgeObject(w[2]);
    msg(std::static_pointer_cast<NSObject>(app), "setBadgeValue:", value);
    return "";
}

std::string Simulator::cmdCall(const Words& w) {
    if (auto e = requireBooted(); !e.empty()) return e;
    if (w.size() != 2) return "usage: call STATUS|none|noobject";
    auto& host = SpringBoardHost::current();
    id event;
    if (w[1].text == "none") {
        event = nullptr;
    } else if (w[1].text == "noobject") {
        event = host.makeCallEvent(false, 0);
    } else {
        auto status = parseInteger(w[1].text);
        if (!status || *status < INT32_MIN || *status > INT32_MAX) return "call status is a 32-bit integer";
        event = host.makeCallEvent(true, static_cast<int>(*status));
    }
    msg(host.telephonyManager(), "callEventHandler:", event);
    return "";
}

std::string Simulator::cmdSiri(const Words& w) {
    if (w.size() != 3) return "usage: siri visible yes|no | siri framework yes|no";
    auto b = yesNo(w[2].text);
    if (!b) return "siri " + w[1].text + " takes yes or no";
    if (w[1].text == "visible") {
        (booted_ ? SpringBoardHost::current().state() : initialState_).siriVisible = *b;
        return "";
    }
    if (w[1].text == "framework") {
        std::error_code ec;
        std::string dir = DevicePaths::map(kAccessibilityPhysicalInteractionPath);
        if (*b) fs::create_directories(dir, ec);
        else fs::remove_all(dir, ec);
        return ec ? "cannot change " + dir + ": " + ec.message() : "";
    }
    return "usage: siri visible yes|no | siri framework yes|no";
}

// ---- touches and time ----

bool Simulator::resolveTarget(const std::string& target, double& x, double& y, std::string& error) {
    if (auto p = parsePoint(target)) {
        x = p->x;
        y = p->y;
        return true;
    }
    std::vector<ExportedBubble> list;
    std::shared_ptr<UIView> view;
    if (target.rfind("bubble:", 0) == 0) {
        std::string bundle = target.substr(7);
        for (auto& b : bubbles())
            if (b.bundle == bundle) view = b.view;
        if (!view) {
            error = "no bubble for " + bundle;
            return false;
        }
    } else if (target.rfind("bubble#", 0) == 0) {
        auto index = parseInteger(target.substr(7));
        auto all = bubbles();
        if (!index || *index < 0 || static_cast<size_t>(*index) >= all.size()) {
            error = "no bubble " + target + " (" + std::to_string(all.size()) + " bubbles)";
            return false;
        }
        view = all[*index].view;
    } else {
        error = "bad target " + target + " (X,Y, bubble:BUNDLE or bubble#N)";
        return false;
    }
    if (!view) {
        error = "the bubble " + target + " has no view";
        return false;
    }
    CGPoint c = view->center();
    CGPoint s = view->superview() ? view->superview()->convertPointToScreen(c) : c;
    // A finger cannot land beyond the glass: a centre on or past the
    // screen's edge (a bubble snapped to it) is touched at the nearest
    // point of the screen, which excludes its far edges.
    const double inside = 1e-4;
    x = std::clamp(s.x, 0.0, screenWidth_ - inside);
    y = std::clamp(s.y, 0.0, screenHeight_ - inside);
    return true;
}

std::string Simulator::touchDown(double x, double y) {
    auto& ws = WindowServer::shared();
    if (!ws.touchDown(CGPointMake(x, y))) emit("touch-through " + number(x) + "," + number(y));
    return "";
}

std::string Simulator::cmdTouch(const Words& w) {
    auto& ws = WindowServer::shared();
    if (w.size() == 2 && w[1].text == "cancel") {
        ws.touchCancel();
        return "";
    }
    if (w.size() != 3) return "usage: touch down|move|up X,Y | touch cancel";
    auto p = parsePoint(w[2].text);
    if (!p) return "bad point " + w[2].text + " (X,Y)";
    if (w[1].text == "down") return touchDown(p->x, p->y);
    if (w[1].text == "move") ws.touchMove(CGPointMake(p->x, p->y));
    else if (w[1].text == "up") ws.touchUp(CGPointMake(p->x, p->y));
    else return "usage: touch down|move|up X,Y | touch cancel";
    return "";
}

std::string Simulator::cmdTap(const Words& w) {
    if (w.size() != 2) return "usage: tap TARGET";
    double x, y;
    std::string error;
    if (!resolveTarget(w[1].text, x, y, error)) return error;
    if (auto e = touchDown(x, y); !e.empty()) return e;
    WindowServer::shared().touchUp(CGPointMake(x, y));
    return "";
}

// The moves of a drag take no virtual time: the finger travels at once.
std::string Simulator::cmdDrag(const Words& w) {
    if (w.size() < 4 || w.size() > 5 || w[2].text != "to") return "usage: drag TARGET to X,Y [steps=N]";
    double x0, y0;
    std::string error;
    if (!resolveTarget(w[1].text, x0, y0, error)) return error;
    auto to = parsePoint(w[3].text);
    if (!to) return "bad point " + w[3].text + " (X,Y)";
    long long steps = 10;
    if (w.size() == 5) {
        std::string k, v;
        auto n = splitOption(w[4].text, k, v) && k == "steps" ? parseInteger(v) : std::nullopt;
        if (!n || *n < 1 || *n > 100000) return "steps is a positive integer";
        steps = *n;
    }
    if (auto e = touchDown(x0, y0); !e.empty()) return e;
    auto& ws = WindowServer::shared();
    for (long long i = 1; i <= steps; ++i) {
        double f = static_cast<double>(i) / static_cast<double>(steps);
        ws.touchMove(CGPointMake(x0 + (to->x - x0) * f, y0 + (to->y - y0) * f));
    }
    ws.touchUp(CGPointMake(to->x, to->y));
    return "";
}

std::string Simulator::cmdLongPress(const Words& w) {
    if (w.size() < 2 || w.size() > 3) return "usage: longpress TARGET [for=SECONDS]";
    double x, y;
    std::string error;
    if (!resolveTarget(w[1].text, x, y, error)) return error;
    double seconds = 0.6;
    if (w.size() == 3) {
        std::string k, v;
        auto s = splitOption(w[2].text, k, v) && k == "for" ? parseNumber(v) : std::nullopt;
        if (!s || *s < 0) return "for is a number of seconds";
        seconds = *s;
    }
    if (auto e = touchDown(x, y); !e.empty()) return e;
    NSRunLoop::mainRunLoop().advance(seconds);
    WindowServer::shared().touchUp(CGPointMake(x, y));
    return "";
}

std::string Simulator::cmdMenu(const Words& w) {
    if (w.size() != 2) return "usage: menu \"TITLE\"";
    auto alert = WindowServer::shared().visibleAlert();
    if (!alert) return "no alert on screen";
    if (!alert->pickActionWithTitle(w[1].text)) {
        std::string titles;
        for (const auto& a : alert->actions()) titles += (titles.empty() ? "" : ", ") + quoteText(a->title());
        return "the alert has no action " + quoteText(w[1].text) + " (it has " + titles + ")";
    }
    return "";
}

std::string Simulator::cmdWait(const Words& w) {
    if (w.size() != 2) return "usage: wait SECONDS";
    auto s = parseNumber(w[1].text);
    if (!s || *s < 0 || *s > 86400) return "wait takes a number of seconds, at most a day";
    NSRunLoop::mainRunLoop().advance(*s);
    return "";
}

// ---- looking ----

std::string Simulator::cmdExpect(const Words& w, const std::string& line) {
    // Trace expectations read the trace in order: `expect trace` looks
    // after the line the previous `expect trace` matched, so consecutive
    // ones check that things happened in that order; `expect no-trace`
    // looks at what happened since the previous expectation of any kind.
    size_t sinceExpect = expectMark_;
    expectMark_ = trace_.size();
    if (w.size() >= 2 && (w[1].text == "trace" || w[1].text == "no-trace") && !w[1].quoted) {
        if (w.size() != 3) return "usage: expect trace|no-trace \"TEXT\"";
        const std::string& text = w[2].text;
        if (w[1].text == "trace") {
            for (size_t i = traceMark_; i < trace_.size(); ++i)
                if (trace_[i].find(text) != std::string::npos) {
                    traceMark_ = i + 1;
                    return "";
                }
            return "expect failed: no trace line contains " + quoteText(text);
        }
        for (size_t i = sinceExpect; i < trace_.size(); ++i)
            if (trace_[i].find(text) != std::string::npos)
                return "expect failed: a trace line contains " + quoteText(text) + ": " + trace_[i];
        return "";
    }
    if (w.size() >= 2 && w[1].text == "bytes" && !w[1].quoted) return expectBytes(w);
    if (w.size() < 4)
        return "usage: expect POINTER OP VALUE | expect trace|no-trace \"TEXT\" | expect bytes settings|state PATH";
    const std::string& pointer = w[1].text;
    const std::string& op = w[2].text;
    if (!isComparisonOperator(op)) return "unknown operator " + op + " (==, !=, <, <=, >, >=, ~)";
    std::string rest = line.substr(w[3].begin);
    ParsedLine full = splitScenarioLine(rest);
    // The value runs to the end of the line, less a trailing comment.
    std::string valueText = full.words.empty() ? rest : rest.substr(0, full.words.back().end);
    Json expected = Json::parse(valueText, nullptr, false);
    if (expected.is_discarded()) return "the value is not JSON: " + valueText;
    Json d = dump();
    std::string error;
    // A member that is not there reads as null, so "== null" can say that
    // something is gone.
    static const Json missing = nullptr;
    std::string where;
    const Json* actual = resolvePointer(d, pointer, &where);
    if (!actual) actual = &missing;
    bool ok = compareJson(*actual, op, expected, &error);
    if (ok) return "";
    if (!error.empty()) return "expect failed: " + pointer + ": " + error;
    return "expect failed: " + pointer + " is " + (where.empty() ? actual->dump() : "missing (" + where + ")") +
           ", expected " + op + " " + expected.dump();
}

// `expect bytes settings|state PATH`: the file on the device holds exactly
// the bytes of PATH. What a reader makes of a file can hide a change (a
// malformed file reads as nothing before and after); the bytes cannot.
std::string Simulator::expectBytes(const Words& w) {
    if (w.size() != 4) return "usage: expect bytes settings|state PATH";
    std::string error;
    std::string file = filePath(w[2].text, error);
    if (!error.empty()) return error;
    std::string source = resolvePath(w[3].text);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) return "no file " + source;
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    std::string mapped = DevicePaths::map(file);
    if (!fs::is_regular_file(mapped, ec)) return "expect failed: the " + w[2].text + " file is missing or no file";
    std::string actual = slurp(mapped), expected = slurp(source);
    if (actual == expected) return "";
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return "expect failed: the " + w[2].text + " file (" + std::to_string(actual.size()) + " bytes) differs from " +
           w[3].text + " (" + std::to_string(expected.size()) + " bytes) from byte " + std::to_string(at) + " on";
}

std::string Simulator::cmdDump(const Words& w) {
    if (w.size() > 2) return "usage: dump [PATH]";
    Json d = dump();
    if (w.size() == 1) {
        if (options_.output) options_.output(options_.compactDump ? d.dump() : d.dump(2));
        return "";
    }
    std::ofstream out(resolvePath(w[1].text));
    if (!out) return "cannot write " + resolvePath(w[1].text);
    out << d.dump(2) << "\n";
    return "";
}

std::string Simulator::cmdSnapshot(const Words& w) {
    if (w.size() != 2) return "usage: snapshot PATH.svg | snapshot -";
    std::string svg = snapshotSvg();
    if (w[1].text == "-" && !w[1].quoted) {
        // One line, for the interactive protocol.
        std::string oneLine;
        for (char c : svg) oneLine += c == '\n' ? ' ' : c;
        if (options_.output) options_.output(oneLine);
        return "";
    }
    std::string path = resolvePath(w[1].text);
    std::ofstream out(path);
    if (!out) return "cannot write " + path;
    out << svg;
    return "";
}

std::string Simulator::cmdEcho(const Words& w) {
    std::string text;
    for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i].text;
    if (options_.output) options_.output("-- " + text);
    return "";
}

// ---- the dump ----

Json Simulator::dump() {
    Json d = Json::object();
    d["time"] = std::round(now() * 1e6) / 1e6;
    d["screen"] = {{"width", screenWidth_}, {"height", screenHeight_}, {"scale", screenScale_}};

    Json host = Json::object();
    bool booted = booted_ && SpringBoardHost::isBooted();
    const HostState* st = booted ? &SpringBoardHost::current().state() : nullptr;
    HostState idle;
    if (!st) st = &idle;
    host["booted"] = booted;
    if (st->frontKind == FrontDisplayKind::App) host["front"] = st->frontBundle;
    else if (st->frontKind == FrontDisplayKind::Other) host["front"] = "other";
    else host["front"] = nullptr;
    host["orientation"] = st->frontMostOrientation;
    host["uiLocked"] = st->uiLocked;
    host["lockState"] = st->lockState;
    host["siriVisible"] = st->siriVisible;
    host["siriFramework"] = SpringBoardHost::frameworkPresent();
    host["siriHelperLoaded"] = booted && SpringBoardHost::current().systemActionHelper() != nullptr;
    host["controlCenter"] = st->controlCenterPresented;
    host["passcode"] = st->passcodeVisible;
    host["launches"] = st->launches;
    host["unlockRequests"] = st->unlockRequests;
    DeviceConfiguration config = booted ? SpringBoardHost::current().configuration() : configuration_;
    Json apps = Json::array();
    for (const auto& a : config.apps)
        apps.push_back({{"bundle", a.bundleIdentifier},
                        {"icon", a.hasIcon},
                        {"badge", plistToJson(a.badgeValue.get())},
                        {"orientation", a.orientation}});
    host["apps"] = apps;
    host["absent"] = Json(std::vector<std::string>(config.absentClasses.begin(), config.absentClasses.end()));
    d["host"] = host;

    Json windows = Json::array();
    if (Process::exists()) {
        for (const auto& win : WindowServer::shared().windows()) {
            windows.push_back({{"class", win->className()},
                               {"level", win->windowLevel()},
                               {"hidden", win->isHidden()},
                               {"frame", rectJson(win->frame())},
                               {"secure", win->isSecure()},
                               {"autorotates", win->autorotates()},
                               {"opaque", win->isOpaque()},
                               {"key", win->isKeyWindow()}});
        }
    }
    d["windows"] = windows;

    Json bubblesJson = Json::array();
    for (const auto& b : bubbles()) {
        Json j = Json::object();
        j["bundle"] = b.bundle;
        if (b.view) {
            const UIView& v = *b.view;
            j.update(viewJson(v));
            CGAffineTransform t = v.transform();
            j["transform"] = Json::array({t.a, t.b, t.c, t.d, t.tx, t.ty});
            j["cornerRadius"] = v.layer()->cornerRadius();
            j["clipsToBounds"] = v.clipsToBounds();
            j["borderWidth"] = v.layer()->borderWidth();
            auto bc = v.layer()->borderColor();
            j["borderColor"] = bc ? Json(colorHex(*bc)) : Json(nullptr);
            j["gestures"] = v.gestureRecognizers().size();
            auto* button = dynamic_cast<const UIButton*>(&v);
            auto image = button ? button->currentImage() : nullptr;
            j["image"] = image ? Json(image->bundleIdentifier()) : Json(nullptr);
            j["animations"] = animationsJson(v);
            j["layerAnimations"] = layerAnimationsJson(v);
        }
        j["currentBadgeValue"] = plistToJson(b.currentBadgeValue.get());
        if (b.badgeView) {
            const UIView& bv = *b.badgeView;
            Json badge = Json::object();
            badge["inBubble"] = b.view && bv.superview() == b.view.get();
            badge["frame"] = rectJson(bv.frame());
            badge["alpha"] = bv.alpha();
            badge["hidden"] = bv.isHidden();
            badge["userInteraction"] = bv.isUserInteractionEnabled();
            badge["cornerRadius"] = bv.layer()->cornerRadius();
            auto bg = bv.backgroundColor();
            auto layerBg = bv.layer()->backgroundColor();
            badge["color"] = bg ? colorJson(bg) : layerBg ? Json(colorHex(*layerBg)) : Json(nullptr);
            badge["currentBadgeValue"] = plistToJson(b.currentBadgeValue.get());
            Json label = nullptr;
            if (auto* l = dynamic_cast<const UILabel*>(b.badgeLabel.get())) {
                label = Json::object();
                label["text"] = l->text();
                label["alpha"] = l->alpha();
                label["hidden"] = l->isHidden();
                label["inBadge"] = l->superview() == &bv;
                label["frame"] = rectJson(l->frame());
                label["textColor"] = colorJson(l->textColor());
                label["fontSize"] = l->font() ? Json(l->font()->pointSize()) : Json(nullptr);
                label["layerAnimations"] = layerAnimationsJson(*l);
            }
            badge["label"] = label;
            j["badge"] = badge;
        } else {
            j["badge"] = nullptr;
        }
        bubblesJson.push_back(j);
    }
    d["bubbles"] = bubblesJson;

    Json alert = nullptr;
    if (auto a = Process::exists() ? WindowServer::shared().visibleAlert() : nullptr) {
        alert = {{"title", a->title()}, {"message", a->message()}, {"style", a->preferredStyle()}};
        Json actions = Json::array();
        for (const auto& act : a->actions()) actions.push_back({{"title", act->title()}, {"style", act->style()}});
        alert["actions"] = actions;
    }
    d["alert"] = alert;

    Json timers = Json::array();
    if (Process::exists()) {
        for (const auto& t : NSRunLoop::mainRunLoop().timers()) {
            timers.push_back({{"interval", t->timeInterval()},
                              {"repeats", t->repeats()},
                              {"fireTime", std::round((timeBase_ + t->fireTime()) * 1e6) / 1e6},
                              {"handler", t->selector().empty() ? std::string("block") : t->selector()},
                              {"target", t->target() ? Json(t->target()->className()) : Json(nullptr)}});
        }
    }
    d["timers"] = timers;

    Json plugin = nullptr;
    Json pluginNames = Json::array();
    if (Process::exists()) {
        for (const auto& p : PluginLoader::loaded()) pluginNames.push_back(p.name);
        if (auto fn = reinterpret_cast<PluginExportFunction>(PluginLoader::findSymbol(kPluginExportFunction))) {
            id exported;
            fn(&exported);
            auto dict = std::dynamic_pointer_cast<NSDictionary>(exported);
            plugin = dict ? plistToJson(dict->objectForKey("variables").get()) : Json(nullptr);
        }
    }
    d["plugin"] = plugin;
    d["plugins"] = pluginNames;

    // A file that is no property list has no contents to show: null, as a
    // missing one; fileStatus tells the two apart.
    Json files = Json::object();
    Json status = Json::object();
    for (const auto& [name, path] : {std::pair<const char*, const char*>{"settings", kSettingsFile}, {"state", kStateFile}}) {
        std::string mapped = DevicePaths::map(path);
        std::error_code ec;
        if (!fs::exists(mapped, ec)) {
            files[name] = nullptr;
            status[name] = "missing";
            continue;
        }
        id contents = PropertyList::readFile(mapped);
        files[name] = contents ? plistToJson(contents.get()) : Json(nullptr);
        status[name] = contents ? "ok" : "unreadable";
    }
    d["files"] = files;
    d["fileStatus"] = status;
    return d;
}

std::string Simulator::snapshotSvg() {
    SnapshotScene scene;
    scene.width = screenWidth_;
    scene.height = screenHeight_;
    scene.time = Process::exists() ? NSRunLoop::mainRunLoop().now() : 0;
    bool booted = booted_ && SpringBoardHost::isBooted();
    if (booted) {
        const auto& st = SpringBoardHost::current().state();
        scene.locked = st.uiLocked;
        scene.siriVisible = st.siriVisible;
        scene.controlCenter = st.controlCenterPresented;
        if (st.frontKind == FrontDisplayKind::App) scene.frontApp = st.frontBundle;
        else if (st.frontKind == FrontDisplayKind::Other) scene.frontApp = "other";
        for (const auto& a : SpringBoardHost::current().configuration().apps)
            scene.apps.push_back({a.bundleIdentifier, a.hasIcon, plistToJson(a.badgeValue.get())});
    } else {
        scene.off = true;
    }
    if (Process::exists()) {
        for (const auto& win : WindowServer::shared().windows()) scene.windows.push_back(win);
        scene.alert = WindowServer::shared().visibleAlert();
    }
    return renderSnapshot(scene);
}
