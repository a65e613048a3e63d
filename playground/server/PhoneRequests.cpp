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

namespace {

// A value's truth as the plugin reads a flag (boolValue): a number not
// zero; a text whose first character after spaces, a sign and zeros is Y,
// T or a digit 1 to 9.
bool readsAsTrue(const Json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    if (!value.is_string()) return false;
    const std::string& t = value.get_ref<const std::string&>();
    size_t i = t.find_first_not_of(" \t\n");
    if (i != std::string::npos && (t[i] == '+' || t[i] == '-')) ++i;
    while (i < t.size() && t[i] == '0') ++i;
    return i < t.size() && std::strchr("YyTt123456789", t[i]) != nullptr;
}

} // namespace

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
    if (!child_ && type != "respring" && type != "reset")
        return error("the home screen is not running" + (failure_.empty() ? "" : " (" + failure_ + ")") +
                     "; respring to start it");
    try {
        // A replay keeps the clock of its own lines.
        if (child_ && !replaying_) catchUp();
        Json result = dispatch(request);
        if (child_) {
            settle();
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

Json Phone::dispatch(const Json& r) {
    std::string type = text(r, "type");
    // A single line whose refusal by the home screen is the answer.
    auto one = [&](const std::string& line) -> Json {
        SimAnswer a = run(line);
        return a.ok() ? Json{{"ok", true}} : error(a.error);
    };
    std::string why;
    if (type == "record") return actRecord(r);
    // The person takes over from a replay.
    if (replaying_) endReplay("the replay stopped: the phone is yours again");
    if (type == "touch" || type == "moves" || type == "hold")
        return member(r, "seq").is_null() && member(r, "touch").is_null() ? applyTouch(r) : sequenced(r);
    if (type == "setting") {
        auto lines = settingLines(text(r, "key"), member(r, "value"), why);
        if (lines.empty()) return error(why);
        for (const auto& line : lines)
            if (auto a = run(line); !a.ok()) return error(a.error);
        return {{"ok", true}};
    }
    if (type == "choose") {
        bool chosen;
        std::string bundle = text(r, "bundle");
        if (!app(bundle)) return error("no app " + bundle + " is installed");
        if (!boolean(r, "chosen", chosen)) return error("chosen is true or false");
        auto line = choiceLine(bundle, chosen, why);
        return line ? one(*line) : error(why);
    }
    if (type == "front") {
        const Json& b = member(r, "bundle");
        if (!b.is_null() && (!b.is_string() || !app(b.get<std::string>()))) return error("no such app");
        SimAnswer a = hostEvent(b.is_null() ? "front home" : "front " + b.get<std::string>());
        return a.ok() ? Json{{"ok", true}} : error(a.error);
    }
    if (type == "home") return actHome();
    if (type == "lock") return actLock();
    if (type == "unlock") return actUnlock();
    if (type == "passcode") {
        bool show;
        if (!boolean(r, "show", show)) return error("show is true or false");
        return actPasscode(show);
    }
    if (type == "controlCenter") {
        bool open;
        if (!boolean(r, "open", open)) return error("open is true or false");
        if (open == isTrue(host(), "controlCenter")) return {{"ok", true}};
        return one(open ? "cc present" : "cc dismiss");
    }
    if (type == "call") {
        const Json& s = member(r, "status");
        if (s.is_null()) return one("call none");
        if (!s.is_number_integer() || s.get<long long>() < 0 || s.get<long long>() > 9)
            return error("a call status is a number from 0 to 9");
        return one("call " + std::to_string(s.get<long long>()));
    }
    if (type == "orientation") {
        const Json& o = member(r, "value");
        if (!o.is_number_integer() || o.get<long long>() < 1 || o.get<long long>() > 4)
            return error("an orientation is 1, 2, 3 or 4");
        return one("orientation " + std::to_string(o.get<long long>()));
    }
    if (type == "badge") {
        std::string bundle = text(r, "bundle");
        if (!app(bundle)) return error("no app " + bundle + " is installed");
        const Json& value = member(r, "value");
        auto line = badgeLine(bundle, value, why);
        if (!line) return error(why);
        return one(*line);
    }
    if (type == "siri") {
        bool visible;
        if (!boolean(r, "visible", visible)) return error("visible is true or false");
        return one(std::string("siri visible ") + (visible ? "yes" : "no"));
    }
    if (type == "lift") return actLift(text(r, "bundle"));
    if (type == "respring") return actRespring();
    if (type == "reset") return actReset();
    return error("unknown request " + (type.empty() ? std::string("(no type)") : type));
}

// The home button, as a person uses it: it closes what is open, shows the
// passcode view on the lock screen, and otherwise goes home.
Json Phone::actHome() {
    const Json& h = host();
    if (isTrue(h, "passcode")) hostEvent("passcode disappear");
    else if (isTrue(h, "uiLocked")) hostEvent("passcode appear");
    else if (isTrue(h, "siriVisible")) run("siri visible no");
    else if (isTrue(h, "controlCenter")) run("cc dismiss");
    else if (member(h, "front").is_string()) hostEvent("front home");
    return {{"ok", true}};
}

// The passcode view belongs to the lock screen: a phone never shows it
// unlocked, and an unlock takes it away.
Json Phone::actPasscode(bool show) {
    if (show == isTrue(host(), "passcode")) return {{"ok", true}};
    if (show && !isTrue(host(), "uiLocked"))
        return error("the passcode view shows only on the lock screen: lock the phone first");
    SimAnswer a = hostEvent(show ? "passcode appear" : "passcode disappear");
    return a.ok() ? Json{{"ok", true}} : error(a.error);
}

Json Phone::actLock() {
    if (isTrue(host(), "uiLocked")) return {{"ok", true}};
    if (isTrue(host(), "controlCenter")) run("cc dismiss");
    run("uilocked yes");
    run("lockstate " + std::to_string(kLockedState));
    // The lock screen asks the host whether it is locked as it comes up.
    askLocked();
    return {{"ok", true}};
}

// The right passcode was entered, in the phone's order: the passcode view
// is up, the phone unlocks, the lock screen goes (launching an app whose
// bubble was tapped while locked), the app or the home screen comes to the
// front, and only then does the passcode view go. The passcode view going
// last lets the front display decide, as on the phone.
Json Phone::actUnlock() {
    if (!isTrue(host(), "uiLocked")) return {{"ok", true}};
    std::string front = "front home";
    if (const Json& f = member(host(), "front"); f.is_string() && app(f.get<std::string>()))
        front = "front " + f.get<std::string>();
    if (!isTrue(host(), "passcode")) hostEvent("passcode appear");
    run("uilocked no");
    run("lockstate 0");
    run("lockscreen dismiss");
    // The app the lock screen launched comes to the front now, not after
    // the passcode view has gone.
    auto launched = std::find_if(followUps_.begin(), followUps_.end(),
                                 [](const std::string& l) { return l.rfind("front ", 0) == 0; });
    if (launched != followUps_.end()) {
        front = *launched;
        followUps_.erase(launched);
    }
    run(front);
    run("passcode disappear");
    askLocked();
    return {{"ok", true}};
}

// Takes an app off the blacklist in the state file: every key that hides
// it there, as the plugin reads them (the text after the key's last
// "HIDAPPS-", holding a true value). The running home screen keeps the flag
// it read at its start, as the phone's does, until the next respring.
Json Phone::actLift(const std::string& bundle) {
    if (!isBundleIdentifier(bundle)) return error("not a bundle identifier");
    const Json& state = member(member(dump_, "files"), "state");
    std::vector<std::string> keys;
    if (state.is_object()) {
        for (const auto& [key, value] : state.items()) {
            size_t at = key.rfind(kHiddenPrefix);
            if (at != std::string::npos && readsAsTrue(value) && key.substr(at + std::string(kHiddenPrefix).size()) == bundle)
                keys.push_back(key);
        }
    }
    if (keys.empty()) return error(bundle + " is not on the blacklist");
    for (const auto& key : keys)
        if (auto a = run("remove state " + quoteWord(key)); !a.ok()) return error(a.error);
    return {{"ok", true}, {"removed", keys}};
}

// The home screen's process ends and starts again, as a respring does on
// the device: the files stay, everything the process held is gone.
Json Phone::actRespring() {
    if (recorder_.keeping() && child_) return respringInPlace();
    hub_.addTrace(FrameHub::TraceKind::Input, "respring");
    try {
        host();   // what the next home screen starts with
    } catch (const ChildGone&) {
        // A home screen already gone left its state as last read.
    }
    stopChild();
    call_ = nullptr;
    recentFailures_ = 0;
    startChild();
    return {{"ok", true}};
}

// A new device: both files gone, the first choice of apps, the first
// badges (the host's last state is forgotten), and a fresh home screen.
Json Phone::actReset() {
    if (child_) {
        run("delete settings");
        run("delete state");
    }
    hub_.addTrace(FrameHub::TraceKind::Input, "reset the device");
    host_ = Json::object();
    hostCurrent_ = false;
    call_ = nullptr;
    stopChild();
    if (!child_) {
        // The files are deleted by a running home screen; one that was down
        // is started first, so the delete goes through its device root.
        child_ = std::make_unique<SimChild>(options_.simProgram, options_.root, options_.answerTimeoutMs);
        run("delete settings");
        run("delete state");
        stopChild();
    }
    recentFailures_ = 0;
    startChild();
    return {{"ok", true}};
}

} // namespace playground
