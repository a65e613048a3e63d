// The dump: everything springboard-sim can see of the device at one
// instant, as one JSON object (what `dump` prints and `expect` reads).
#include "sim/Simulator.h"
#include "sim/Snapshot.h"

#include <cmath>
#include <filesystem>
#include <fstream>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "runtime/PluginLoader.h"
#include "runtime/Process.h"
#include "sim/DeviceSetUp.h"
#include "sim/FileValue.h"
#include "sim/PlistJson.h"
#include "sim/ScenarioParser.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

namespace fs = std::filesystem;

namespace {

Json rectJson(const CGRect& r) { return Json::array({r.origin.x, r.origin.y, r.size.width, r.size.height}); }

Json colorJson(const std::shared_ptr<UIColor>& c) {
    if (!c) return nullptr;
    return c->components().hex();
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

// Whether anything on screen is animating now (or waiting out an
// animation's delay): a view or its layer, in any visible window.
bool viewAnimating(const UIView& v, double now) {
    if (!v.animationsAt(now).empty() || !v.layer()->animationsAt(now).empty()) return true;
    for (const auto& child : v.subviews())
        if (viewAnimating(*child, now)) return true;
    return false;
}

Json windowsJson(bool& moving) {
    Json windows = Json::array();
    moving = false;
    if (!Process::exists()) return windows;
    const double now = NSRunLoop::mainRunLoop().now();
    for (const auto& win : WindowServer::shared().windows()) {
        if (!moving && !win->isHidden()) moving = viewAnimating(*win, now);
        windows.push_back({{"class", win->className()},
                           {"level", win->windowLevel()},
                           {"hidden", win->isHidden()},
                           {"frame", rectJson(win->frame())},
                           {"secure", win->isSecure()},
                           // Drawn and touchable now: not behind the lock screen.
                           {"shown", WindowServer::shared().isShown(*win)},
                           {"autorotates", win->autorotates()},
                           {"opaque", win->isOpaque()},
                           {"key", win->isKeyWindow()}});
    }
    return windows;
}

Json badgeLabelJson(const UIView* view, const UIView& badge) {
    auto* l = dynamic_cast<const UILabel*>(view);
    if (!l) return nullptr;
    Json label = Json::object();
    label["text"] = l->text();
    label["alpha"] = l->alpha();
    label["hidden"] = l->isHidden();
    label["inBadge"] = l->superview() == &badge;
    label["frame"] = rectJson(l->frame());
    label["textColor"] = colorJson(l->textColor());
    label["fontSize"] = l->font() ? Json(l->font()->pointSize()) : Json(nullptr);
    label["layerAnimations"] = layerAnimationsJson(*l);
    return label;
}

Json badgeJson(const ExportedBubble& b) {
    if (!b.badgeView) return nullptr;
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
    badge["color"] = bg ? colorJson(bg) : layerBg ? Json(layerBg->hex()) : Json(nullptr);
    badge["currentBadgeValue"] = plistToJson(b.currentBadgeValue.get());
    badge["label"] = badgeLabelJson(b.badgeLabel.get(), bv);
    return badge;
}

Json bubbleJson(const ExportedBubble& b) {
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
        j["borderColor"] = bc ? Json(bc->hex()) : Json(nullptr);
        j["gestures"] = v.gestureRecognizers().size();
        auto* button = dynamic_cast<const UIButton*>(&v);
        auto image = button ? button->currentImage() : nullptr;
        j["image"] = image ? Json(image->bundleIdentifier()) : Json(nullptr);
        j["animations"] = animationsJson(v);
        j["layerAnimations"] = layerAnimationsJson(v);
    }
    j["currentBadgeValue"] = plistToJson(b.currentBadgeValue.get());
    j["badge"] = badgeJson(b);
    return j;
}

Json alertJson() {
    auto a = Process::exists() ? WindowServer::shared().visibleAlert() : nullptr;
    if (!a) return nullptr;
    Json alert = {{"title", a->title()}, {"message", a->message()}, {"style", a->preferredStyle()}};
    Json actions = Json::array();
    // Each action's button as it stands on the screen: where a finger
    // picks it.
    const std::vector<CGRect> frames = a->actionFrames();
    for (size_t i = 0; i < a->actions().size(); ++i)
        actions.push_back({{"title", a->actions()[i]->title()},
                           {"style", a->actions()[i]->style()},
                           {"frame", i < frames.size() ? rectJson(frames[i]) : Json(nullptr)}});
    alert["actions"] = actions;
    return alert;
}

// timeBase: the device's time at the run loop's zero.
Json timersJson(double timeBase) {
    Json timers = Json::array();
    if (!Process::exists()) return timers;
    for (const auto& t : NSRunLoop::mainRunLoop().timers()) {
        timers.push_back({{"interval", t->timeInterval()},
                          {"repeats", t->repeats()},
                          {"fireTime", std::round((timeBase + t->fireTime()) * 1e6) / 1e6},
                          {"handler", t->selector().empty() ? std::string("block") : t->selector()},
                          {"target", t->target() ? Json(t->target()->className()) : Json(nullptr)}});
    }
    return timers;
}

// The plugin's variables and its readings, as it hands them over, and
// every plugin loaded.
void addPlugin(Json& d, const Simulator& sim) {
    Json plugin = nullptr;
    Json readings = nullptr;
    Json pluginNames = Json::array();
    if (Process::exists()) {
        for (const auto& p : PluginLoader::loaded()) pluginNames.push_back(p.name);
        PluginInspection request;
        request.wantReadings = true;
        if (auto inspection = sim.inspectPlugin(std::move(request))) {
            plugin = plistToJson(inspection->variables.get());
            if (inspection->readings) readings = plistToJson(inspection->readings.get());
        }
    }
    d["plugin"] = plugin;
    d["readings"] = readings;
    d["plugins"] = pluginNames;
}

// A file that is no property list has no contents to show: null, as a
// missing one; fileStatus tells the two apart. JSON cannot tell a date
// from a number or data from a text: each key also comes as the scenario
// language writes it (fileWords), so that a tool shows every type and a
// recording sets every value again without a second writer of that syntax.
void addFiles(Json& d) {
    Json files = Json::object();
    Json status = Json::object();
    Json words = Json::object();
    for (const auto& [name, path] :
         {std::pair<const char*, const char*>{"settings", kSettingsPath}, {"state", kStatePath}}) {
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
        if (auto* dict = dynamic_cast<const NSDictionary*>(contents.get())) {
            Json fileWords = Json::object();
            for (const auto& [key, value] : dict->entries())
                fileWords[key] = {{"value", formatFileValue(value.get())},
                                  {"type", fileValueType(value.get())},
                                  {"entry", formatFileEntry(key, value.get())}};
            words[name] = fileWords;
        }
    }
    d["files"] = files;
    d["fileStatus"] = status;
    d["fileWords"] = words;
}

} // namespace

bool Simulator::animating() const {
    if (!Process::exists()) return false;
    const double now = NSRunLoop::mainRunLoop().now();
    for (const auto& win : WindowServer::shared().windows())
        if (!win->isHidden() && viewAnimating(*win, now)) return true;
    return false;
}

Json Simulator::hostDump() const {
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
    host["call"] = st->callStatus ? Json(*st->callStatus) : Json(nullptr);
    host["launches"] = st->launches;
    host["unlockRequests"] = st->unlockRequests;
    DeviceConfiguration config = booted ? SpringBoardHost::current().configuration() : setUp_->configuration();
    Json apps = Json::array();
    for (const auto& a : config.apps) {
        // The icon's look as the picture draws it, so a page that shows the
        // app elsewhere draws it alike without computing it again.
        AppIconStyle look = appIconStyle(a.bundleIdentifier);
        apps.push_back({{"bundle", a.bundleIdentifier},
                        {"icon", a.hasIcon},
                        {"iconStyle", {{"light", look.light}, {"dark", look.dark}, {"initials", look.initials}}},
                        {"badge", plistToJson(a.badgeValue.get())},
                        {"orientation", a.orientation}});
    }
    host["apps"] = apps;
    // The classes, then the methods ("CLASS SELECTOR"), this host lacks.
    std::vector<std::string> absent(config.absentClasses.begin(), config.absentClasses.end());
    for (const auto& [cls, sel] : config.absentMethods) absent.push_back(cls + " " + sel);
    host["absent"] = Json(absent);
    return host;
}

// Every member in the order a reader of the dump finds them.
Json Simulator::dump() {
    Json d = Json::object();
    d["time"] = std::round(now() * 1e6) / 1e6;
    const CGSize bounds = screenSize();
    d["screen"] = {{"width", screenWidth()},
                   {"height", screenHeight()},
                   {"scale", screenScale()},
                   // As the interface has it: turned when the home screen came up sideways.
                   {"bounds", rectJson(CGRectMake(0, 0, bounds.width, bounds.height))}};
    d["host"] = hostDump();
    bool moving = false;
    d["windows"] = windowsJson(moving);
    d["animating"] = moving;
    Json bubblesJson = Json::array();
    for (const auto& b : bubbles()) bubblesJson.push_back(bubbleJson(b));
    d["bubbles"] = bubblesJson;
    d["alert"] = alertJson();
    d["timers"] = timersJson(timeBase_);
    // The files and the plugin's readings of them are shown with every
    // write handed to the preferences daemon so far.
    NSUserDefaults::waitForPendingWrites();
    addPlugin(d, *this);
    addFiles(d);
    return d;
}
