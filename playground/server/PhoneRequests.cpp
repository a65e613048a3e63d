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
    if (!child_ && type != "respring" && type != "reset")
        return error("the home screen is not running" + (failure_.empty() ? "" : " (" + failure_ + ")") +
                     "; respring to start it");
    try {
        // A replay keeps the clock of its own lines.
        if (child_ && !replaying_) catchUp();
        Json result = dispatch(request);
        if (child_) {
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
        auto lines = settingLines(settings_, text(r, "key"), member(r, "value"), why);
        if (lines.empty()) return error(why);
        for (const auto& line : lines)
            if (auto a = run(line); !a.ok()) return error(a.error);
        return {{"ok", true}};
    }
    if (type == "file") {
        auto lines = fileLines(text(r, "file"), text(r, "key"), member(r, "value"), why);
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
        if (!b.is_null() && !(b.is_string() && isBundleIdentifier(b.get<std::string>())))
            return error("bundle is an app's bundle identifier, or null for the home screen");
        return actPhone(b.is_null() ? "open home" : "open " + quoteWord(b.get<std::string>()));
    }
    if (type == "home") return actPhone("press home");
    if (type == "lock") return actPhone("lock");
    if (type == "unlock") return actPhone("unlock");
    if (type == "passcode") {
        bool show;
        if (!boolean(r, "show", show)) return error("show is true or false");
        return actPhone(show ? "open passcode" : "close passcode");
    }
    if (type == "controlCenter") {
        bool open;
        if (!boolean(r, "open", open)) return error("open is true or false");
        return actPhone(open ? "open controlcenter" : "close controlcenter");
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
        return actPhone(visible ? "open siri" : "close siri");
    }
    if (type == "lift") return actLift(text(r, "bundle"));
    if (type == "respring") return actRespring();
    if (type == "reset") return actReset();
    if (type == "screen") return actScreen(r);
    return error("unknown request " + (type.empty() ? std::string("(no type)") : type));
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
    if (recorder_.keeping() && child_) return respringInPlace();
    hub_.addTrace(FrameHub::TraceKind::Input, "respring");
    try {
        host(); // what the next home screen starts with
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
    if (child_) {
        run("delete settings");
        run("delete state");
    }
    hub_.addTrace(FrameHub::TraceKind::Input, "reset the device");
    host_ = Json::object();
    hostCurrent_ = false;
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
