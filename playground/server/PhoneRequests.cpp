// The page's requests, each as typed values in and whitelisted lines out.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

Json Phone::act(const Json& request) {
    // Whatever the request changes is shown at the next frame, even where
    // the step loop was waiting for a timer.
    std::string type = text(request, "type");
    struct WakeAfter {
        Phone& phone;
        bool moved;
        ~WakeAfter() { phone.wake(moved); }
    } wakeAfter{*this, type == "moves"};
    std::lock_guard lock(mutex_);
    if (!link_->running() && type != "respring" && type != "reset")
        return error("the home screen is not running" + (failure_.empty() ? "" : " (" + failure_ + ")") +
                     "; respring to start it");
    try {
        // A replay keeps the clock of its own lines.
        if (link_->running() && !replay_->running()) catchUp();
        Json result = dispatch(request);
        if (link_->running()) {
            // A finger's path and its beats come many a second: the next
            // clock step shows them, and the finger is answered sooner.
            if (type != "moves" && type != "hold") publish();
        }
        return result;
    } catch (const ChildGone& e) {
        recover(e.what());
        return error(std::string("the home screen stopped: ") + e.what());
    } catch (const std::exception& e) {
        hub_.addTrace(FrameHub::TraceKind::Note, std::string("the playground failed: ") + e.what());
        return error(e.what());
    }
}

const std::map<std::string, Phone::Handler>& Phone::handlers() {
    static const std::map<std::string, Handler> table = {
        {"touch", [](Phone& p, const Json& r) { return p.touchAction(r); }},
        {"moves", [](Phone& p, const Json& r) { return p.touchAction(r); }},
        {"hold", [](Phone& p, const Json& r) { return p.touchAction(r); }},
        {"setting", [](Phone& p, const Json& r) { return p.actSetting(r); }},
        {"file", [](Phone& p, const Json& r) { return p.actFile(r); }},
        {"choose", [](Phone& p, const Json& r) { return p.actChoose(r); }},
        {"front", [](Phone& p, const Json& r) { return p.actFront(r); }},
        {"home", [](Phone& p, const Json&) { return p.actPhone("press home"); }},
        {"lock", [](Phone& p, const Json&) { return p.actPhone("lock"); }},
        {"unlock", [](Phone& p, const Json&) { return p.actPhone("unlock"); }},
        {"passcode", [](Phone& p, const Json& r) { return p.actSwitch(r, "show", "open passcode", "close passcode"); }},
        {"controlCenter",
         [](Phone& p, const Json& r) { return p.actSwitch(r, "open", "open controlcenter", "close controlcenter"); }},
        {"siri", [](Phone& p, const Json& r) { return p.actSwitch(r, "visible", "open siri", "close siri"); }},
        {"call", [](Phone& p, const Json& r) { return p.actCall(r); }},
        {"orientation", [](Phone& p, const Json& r) { return p.actOrientation(r); }},
        {"badge", [](Phone& p, const Json& r) { return p.actBadge(r); }},
        {"lift", [](Phone& p, const Json& r) { return p.actLift(text(r, "bundle")); }},
        {"respring", [](Phone& p, const Json&) { return p.actRespring(); }},
        {"reset", [](Phone& p, const Json&) { return p.actReset(); }},
        {"screen", [](Phone& p, const Json& r) { return p.actScreen(r); }},
    };
    return table;
}

Json Phone::dispatch(const Json& r) {
    std::string type = text(r, "type");
    if (type == "record") return actRecord(r);
    // The person takes over from a replay.
    if (replay_->running()) replay_->end("the replay stopped: the phone is yours again");
    auto handler = handlers().find(type);
    if (handler == handlers().end())
        return error("unknown request " + (type.empty() ? std::string("(no type)") : type));
    return handler->second(*this, r);
}

namespace {

// Lines that all must pass; the first refusal is the answer.
template <typename Run>
Json allOf(const std::vector<std::string>& lines, const std::string& why, Run run) {
    if (lines.empty()) return error(why);
    for (const auto& line : lines)
        if (auto a = run(line); !a.ok()) return error(a.error);
    return {{"ok", true}};
}

} // namespace

Json Phone::actSetting(const Json& r) {
    std::string why;
    auto lines = settingLines(settings_, text(r, "key"), member(r, "value"), why);
    return allOf(lines, why, [this](const std::string& line) { return run(line); });
}

Json Phone::actFile(const Json& r) {
    std::string why;
    auto lines = fileLines(text(r, "file"), text(r, "key"), member(r, "value"), why);
    return allOf(lines, why, [this](const std::string& line) { return run(line); });
}

Json Phone::actChoose(const Json& r) {
    bool chosen;
    std::string bundle = text(r, "bundle"), why;
    if (!app(bundle)) return error("no app " + bundle + " is installed");
    if (!boolean(r, "chosen", chosen)) return error("chosen is true or false");
    auto line = choiceLine(bundle, chosen, why);
    return line ? actPhone(*line) : error(why);
}

Json Phone::actFront(const Json& r) {
    const Json& b = member(r, "bundle");
    if (!b.is_null() && !(b.is_string() && isBundleIdentifier(b.get<std::string>())))
        return error("bundle is an app's bundle identifier, or null for the home screen");
    return actPhone(b.is_null() ? "open home" : "open " + quoteWord(b.get<std::string>()));
}

Json Phone::actSwitch(const Json& r, const char* name, const char* on, const char* off) {
    bool value;
    if (!boolean(r, name, value)) return error(std::string(name) + " is true or false");
    return actPhone(value ? on : off);
}

Json Phone::actCall(const Json& r) {
    const Json& s = member(r, "status");
    if (s.is_null()) return actPhone("call none");
    if (!s.is_number_integer() || s.get<long long>() < 0 || s.get<long long>() > 9)
        return error("a call status is a number from 0 to 9");
    return actPhone("call " + std::to_string(s.get<long long>()));
}

Json Phone::actOrientation(const Json& r) {
    const Json& o = member(r, "value");
    if (!o.is_number_integer() || o.get<long long>() < 1 || o.get<long long>() > 4)
        return error("an orientation is 1, 2, 3 or 4");
    return actPhone("orientation " + std::to_string(o.get<long long>()));
}

Json Phone::actBadge(const Json& r) {
    std::string bundle = text(r, "bundle"), why;
    if (!app(bundle)) return error("no app " + bundle + " is installed");
    auto line = badgeLine(bundle, member(r, "value"), why);
    return line ? actPhone(*line) : error(why);
}

// A person's own actions on the phone: the simulator plays them in the
// phone's order, and each is one line (and one line of a recording).
Json Phone::actPhone(const std::string& line) {
    SimAnswer a = run(line);
    return a.ok() ? Json{{"ok", true}} : error(a.error);
}

// Takes an app off the blacklist in the state file. Whether the file hides
// it, and which keys name it in the hide family, are the plugin's own
// readings of the file as it stands (the dump's readings.nextRespring and
// readings.hideKeys); every such key goes, whatever
// its value, since one the plugin reads as false hides nothing either way.
// The running home screen keeps what it read at its start, as the phone's
// does, until the next respring.
Json Phone::actLift(const std::string& bundle) {
    if (!isBundleIdentifier(bundle)) return error("not a bundle identifier");
    SimAnswer answer = run("dump", false);
    Json now = Json::parse(answer.dump, nullptr, false);
    const Json& readings = member(now, "readings");
    const Json& hidden = member(member(readings, "nextRespring"), "hidden");
    if (!hidden.is_array() || std::find(hidden.begin(), hidden.end(), Json(bundle)) == hidden.end())
        return error(bundle + " is not on the blacklist");
    std::vector<std::string> keys;
    for (const auto& key : member(member(readings, "hideKeys"), bundle.c_str()))
        if (key.is_string()) keys.push_back(key.get<std::string>());
    for (const auto& key : keys)
        if (auto a = run("remove state " + quoteWord(key)); !a.ok()) return error(a.error);
    return {{"ok", true}, {"removed", keys}};
}

// The home screen's process ends and starts again, as a respring does on
// the device: the files stay, everything the process held is gone.
Json Phone::actRespring() {
    if (recorder_.keeping() && link_->running()) return respringInPlace();
    hub_.addTrace(FrameHub::TraceKind::Input, "respring");
    try {
        link_->host(); // what the next home screen starts with
    } catch (const ChildGone&) {
        // A home screen already gone left its state as last read.
    }
    stopChild();
    recentFailures_ = 0;
    startChild();
    return {{"ok", true}};
}

// A new device: both files gone, the first choice of apps, the first
// badges (the host's last state is forgotten), and a fresh home screen.
Json Phone::actReset() {
    if (link_->running()) {
        run("delete settings");
        run("delete state");
    }
    hub_.addTrace(FrameHub::TraceKind::Input, "reset the device");
    link_->forgetHost();
    stopChild();
    if (!link_->running()) {
        // The files are deleted by a running home screen; one that was down
        // is started first, so the delete goes through its device root.
        link_->start(options_.simProgram, options_.root, options_.answerTimeoutMs);
        run("delete settings");
        run("delete state");
        stopChild();
    }
    recentFailures_ = 0;
    startChild();
    return {{"ok", true}};
}

} // namespace playground
