#include "playground/server/Phone.h"
#include "playground/server/RequestValues.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace playground {

using namespace request;

namespace {

// The most moves one request carries.
constexpr size_t kMaxMoves = 256;

// The most touch actions kept waiting for one before them.
constexpr size_t kMaxEarly = 256;
// How many ended touches are remembered, to drop their late actions.
constexpr size_t kEndedTouches = 16;

// How long a finger may stay down without a word from its page.
constexpr double kGestureTimeout = 10.0;

// A display's frame: the phone is shown no more often than this.
constexpr double kFrame = 1.0 / 60;

// The lock state of a locked phone with a passcode, as its aggregator
// reports it; 0 is unlocked.
constexpr int kLockedState = 3;

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The event of a trace line, without its "[SECONDS] " stamp.
std::string eventOf(const std::string& line) {
    if (line.empty() || line[0] != '[') return line;
    size_t close = line.find("] ");
    return close == std::string::npos ? line : line.substr(close + 2);
}

std::vector<std::string> splitSpaces(const std::string& text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        size_t j = text.find(' ', i);
        if (j == std::string::npos) j = text.size();
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

// The badge as an `app` option: a count plain, a text quoted.
std::string badgeOption(const Json& badge) {
    if (badge.is_number_integer()) return " badge=" + std::to_string(badge.get<long long>());
    if (badge.is_string() && !badge.get<std::string>().empty()) return " badge=" + quoteWord(badge.get<std::string>());
    return "";
}

// A badge as the home screen keeps it: none, a count, or a text.
Json storedBadge(const Json& value) {
    if (!value.is_string()) return value.is_number_integer() ? value : Json(nullptr);
    const std::string& t = value.get_ref<const std::string&>();
    if (t.empty()) return nullptr;
    bool digits = t.size() <= 6 && std::all_of(t.begin(), t.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    return digits ? Json(std::stoll(t)) : value;
}

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

std::vector<AppSeed> defaultApps() {
    return {
        {"com.apple.MobileSMS", "Messages", 2, true},
        {"com.apple.mobilemail", "Mail", 12, true},
        {"com.apple.mobilesafari", "Safari", nullptr, true},
        {"com.apple.camera", "Camera", nullptr, false},
        {"com.apple.Music", "Music", nullptr, false},
        {"com.apple.Maps", "Maps", nullptr, false},
        {"com.apple.mobilephone", "Phone", nullptr, false},
        {"com.apple.siri", "Siri", nullptr, true},
    };
}

Phone::Phone(Options options, FrameHub& hub) : options_(std::move(options)), hub_(hub) {
    if (!options_.clock) options_.clock = steadySeconds;
}

Phone::~Phone() {
    std::lock_guard lock(mutex_);
    stopChild();
}

void Phone::start() {
    std::lock_guard lock(mutex_);
    try {
        startChild();
        publish();
    } catch (const ChildGone& e) {
        recover(e.what());
    }
}

// ---- the home-screen process ----

void Phone::startChild() {
    // Siri outlasts the home screen's process: the new one starts with it
    // as the last one left it. The lock does not need keeping: a phone's
    // home screen always starts on the lock screen.
    bool siri = isTrue(host(), "siriVisible");
    child_ = std::make_unique<SimChild>(options_.simProgram, options_.root, options_.answerTimeoutMs);
    failure_.clear();
    replaying_ = false;
    if (recorder_.keeping()) hub_.addTrace(FrameHub::TraceKind::Note, "the recording begins again at this start");
    recorder_.started();
    auto setUp = [&](const std::string& line) {
        SimAnswer a = run(line, false);
        if (!a.ok()) throw ChildGone("the home screen refused \"" + line + "\": " + a.error);
        return a;
    };
    setUp("screen " + realWord(options_.width) + "x" + realWord(options_.height) + " scale=" + realWord(options_.scale));
    for (const auto& a : options_.apps) setUp("app " + a.bundle + " icon=yes" + badgeOption(a.badge));
    setUp("uilocked yes");
    setUp(std::string("siri visible ") + (siri ? "yes" : "no"));
    // A new device: the settings pane's first choice of apps. A device
    // root kept from an earlier run keeps its own choice.
    Json before = Json::parse(setUp("dump").dump, nullptr, false);
    recorder_.files(member(before, "files"), member(before, "fileStatus"));
    if (member(member(before, "fileStatus"), "state") == "missing") {
        std::string line = "state";
        for (const auto& a : options_.apps)
            if (a.chosen) line += std::string(" ") + kChosenPrefix + a.bundle + "=true";
        if (line != "state") setUp(line);
    }
    ++generation_;
    hub_.addTrace(FrameHub::TraceKind::Note, generation_ == 1 ? "home screen started" : "home screen started again");
    virtualNow_ = 0;
    gesture_ = Gesture();
    order_ = TouchOrder();
    setUp("boot");
    comeUpLocked();
    lastAdvance_ = options_.clock();
}

void Phone::comeUpLocked() {
    auto setUp = [&](const std::string& line) {
        SimAnswer a = run(line, false);
        if (!a.ok()) throw ChildGone("the home screen refused \"" + line + "\": " + a.error);
    };
    // The lock screen comes up as the phone's does after a start: the lock
    // state first (the locked value the plugin expects, so it changes
    // nothing), then the first front display without an app, which is the
    // lock screen, then the lock screen asks whether the phone is locked.
    setUp("lockstate " + std::to_string(kLockedState));
    setUp("front home");
    setUp("query uilocked");
}

void Phone::stopChild() {
    // The destructor ends the child's input: its process ends as the
    // device's home screen does, and the device root stays.
    child_.reset();
}

void Phone::recover(const std::string& why) {
    child_.reset();
    double now = options_.clock();
    if (now - lastFailure_ > 30) recentFailures_ = 0;
    lastFailure_ = now;
    ++recentFailures_;
    hub_.addTrace(FrameHub::TraceKind::Note, "the home screen stopped: " + why);
    failure_ = why;
    // A home screen that keeps failing is left down until a respring asks
    // for it again, rather than restarted in a loop.
    if (recentFailures_ <= 3) {
        call_ = nullptr;
        try {
            startChild();
            publish();
        } catch (const ChildGone& e) {
            child_.reset();
            failure_ = e.what();
        }
    }
    hub_.setMeta(metaLocked());
    hub_.flush();
}

SimAnswer Phone::run(const std::string& line, bool echo) {
    if (!isAllowedLine(line)) throw std::logic_error("the playground composed a line it may not send: " + line);
    if (!child_) throw ChildGone("the home screen is not running");
    auto w = splitSpaces(line);
    if (echo) hub_.addTrace(FrameHub::TraceKind::Input, line);
    // Only a dump or a picture leaves the host as it was.
    const std::string c = w.empty() ? std::string() : w[0];
    if (c != "dump" && c != "snapshot") hostCurrent_ = false;
    SimAnswer answer = child_->send(line);
    for (const auto& t : answer.trace) {
        hub_.addTrace(FrameHub::TraceKind::Sim, t);
        react(t);
    }
    if (!answer.ok()) {
        hub_.addTrace(FrameHub::TraceKind::Note, line + ": " + answer.error);
        return answer;
    }
    if (c == "dump") {
        Json parsed = Json::parse(answer.dump, nullptr, false);
        if (parsed.is_object()) {
            host_ = member(parsed, "host");
            hostCurrent_ = true;
        }
    }
    if (c == "call" && w.size() == 2) call_ = w[1] == "none" ? Json(nullptr) : Json(std::atoi(w[1].c_str()));
    if (c != "dump" && c != "snapshot") recorder_.sent(line);
    return answer;
}

// What the rest of the phone does when the home screen asks for it. The
// answers run after the request that caused them, in order.
void Phone::react(const std::string& traceLine) {
    auto w = splitSpaces(eventOf(traceLine));
    if (w.empty()) return;
    if (w[0] == "launch" && w.size() >= 2 && app(w[1])) {
        followUps_.push_back("front " + w[1]);
    } else if (w[0] == "unlock-request") {
        followUps_.push_back("passcode appear");
    } else if (w[0] == "siri" && w.size() == 2) {
        if (w[1] == "open" || w[1] == "activate") followUps_.push_back("siri visible yes");
        else if (w[1] == "dismiss") followUps_.push_back("siri visible no");
    }
}

void Phone::settle() {
    // A follow-up may cause more; a bound keeps a loop from running away.
    for (int rounds = 0; rounds < 16 && !followUps_.empty(); ++rounds) {
        auto lines = std::move(followUps_);
        followUps_.clear();
        for (const auto& line : lines) {
            if (line == "passcode appear" && isTrue(host(), "passcode")) continue;
            hostEvent(line);
        }
    }
    followUps_.clear();
}

void Phone::catchUp() {
    double now = options_.clock();
    if (gesture_.active) {
        // A page that went away with a finger down: the touch is cancelled
        // and the clock runs on its own again.
        if (now - gesture_.lastHeard < kGestureTimeout) return;
        gesture_.active = false;
        endTouchOrder();
        run("touch cancel");
        lastAdvance_ = now;
        return;
    }
    double elapsed = now - lastAdvance_;
    if (elapsed < 0.001) return;
    lastAdvance_ = now;
    // A phone that was still, with no timer set, was not stalled: all of
    // the time passed is its own, however long.
    advanceTo(virtualNow_ + elapsed, nextStep_ == INFINITY);
}

void Phone::advanceTo(double target, bool whole) {
    double step = target - virtualNow_;
    if (!whole) step = std::min(step, options_.maxStep);
    if (step < 0.0005) return;
    char line[64];
    std::snprintf(line, sizeof line, "wait %.4f", step);
    run(line, false);
    virtualNow_ += std::strtod(line + 5, nullptr);
}

void Phone::follow(const Json& t) {
    if (!gesture_.active || !t.is_number()) return;
    double page = t.get<double>();
    if (!std::isfinite(page) || page < gesture_.lastPage) return;
    gesture_.lastPage = page;
    gesture_.lastHeard = options_.clock();
    advanceTo(gesture_.virtualOrigin + (page - gesture_.pageOrigin) / 1000.0);
}

void Phone::publish() {
    SimAnswer picture = run("snapshot -", false);
    SimAnswer dump = run("dump", false);
    bool pictureChanged = picture.svg != lastSvg_;
    if (!picture.svg.empty()) {
        hub_.setSvg(picture.svg);
        lastSvg_ = std::move(picture.svg);
    }
    Json parsed = Json::parse(dump.dump, nullptr, false);
    nextStep_ = nextStep(parsed, pictureChanged);
    if (parsed.is_object()) {
        // The time moves on every step; it travels in the facts instead, so
        // an unchanged screen is not sent again.
        parsed.erase("time");
        dump_ = parsed;
        hub_.setDump(parsed.dump(-1, ' ', false, Json::error_handler_t::replace));
    }
    hub_.setMeta(metaLocked());
    hub_.flush();
}

// A picture that changed is likely to change again at the next frame (a
// finger drags); one that did not may still be about to, when an animation
// waits out its delay or a timer is set. Otherwise the phone is still until
// a request comes, and costs nothing meanwhile.
double Phone::nextStep(const Json& dump, bool pictureChanged) const {
    if (pictureChanged || gesture_.active || !order_.touch.empty() || isTrue(dump, "animating")) return kFrame;
    const Json& now = member(dump, "time");
    double due = INFINITY;
    for (const auto& t : member(dump, "timers")) {
        const Json& fire = member(t, "fireTime");
        if (fire.is_number() && now.is_number()) due = std::min(due, fire.get<double>() - now.get<double>());
    }
    return std::max(due, kFrame);
}

// The home screen asks whether the phone is locked whenever what is on
// screen changes, and the plugin's answer to that question shows or hides
// the bubbles: the playground asks as often, so they follow as on the phone.
SimAnswer Phone::hostEvent(const std::string& line) {
    SimAnswer a = run(line);
    const std::string c = line.substr(0, line.find(' '));
    if (a.ok() && (c == "front" || c == "passcode")) askLocked();
    return a;
}

void Phone::askLocked() { run("query uilocked", false); }

const Json& Phone::host() {
    if (!hostCurrent_ && child_) run("dump", false);
    return host_;
}

Json Phone::metaLocked() const {
    const Json& orientation = member(host_, "orientation");
    return {{"time", std::round(virtualNow_ * 1000) / 1000},
            {"generation", generation_},
            {"running", child_ != nullptr},
            {"failure", failure_.empty() ? Json(nullptr) : Json(failure_)},
            {"phone",
             {{"locked", isTrue(host_, "uiLocked")},
              {"passcode", isTrue(host_, "passcode")},
              {"controlCenter", isTrue(host_, "controlCenter")},
              {"siri", isTrue(host_, "siriVisible")},
              {"front", member(host_, "front").is_string() ? member(host_, "front") : Json(nullptr)},
              {"orientation", orientation.is_number_integer() ? orientation : Json(1)},
              {"call", call_}}},
            // How much of the latest touch the picture has taken in, for a
            // page that draws its finger's bubble ahead of the picture.
            {"touch", metaTouch()}};
}

double Phone::tick() {
    std::lock_guard lock(mutex_);
    if (!child_) {
        hub_.setMeta(metaLocked());
        hub_.flush();
        return INFINITY;
    }
    try {
        if (!replayStep()) {
            catchUp();
            settle();
        }
        publish();
        // A replay is paced by the wall clock, a frame at a time, whatever
        // the phone shows meanwhile.
        return replaying_ ? kFrame : nextStep_;
    } catch (const ChildGone& e) {
        recover(e.what());
    } catch (const std::exception& e) {
        hub_.addTrace(FrameHub::TraceKind::Note, std::string("the playground failed: ") + e.what());
        hub_.flush();
    }
    return kFrame;
}

void Phone::waitForStep(std::chrono::steady_clock::time_point earliest, std::chrono::steady_clock::time_point latest) {
    std::this_thread::sleep_until(earliest);
    std::unique_lock lock(wakeMutex_);
    wakeUp_.wait_until(lock, latest, [this] { return woken_; });
    woken_ = false;
}

void Phone::wake() {
    {
        std::lock_guard lock(wakeMutex_);
        woken_ = true;
    }
    wakeUp_.notify_all();
}

// ---- requests ----

Json Phone::act(const Json& request) {
    // Whatever the request changes is shown at the next frame, even where
    // the step loop was waiting for a timer.
    struct WakeAfter {
        Phone& phone;
        ~WakeAfter() { phone.wake(); }
    } wakeAfter{*this};
    std::lock_guard lock(mutex_);
    std::string type = text(request, "type");
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
        Json result = one(*line);
        // Kept for the next start of the home screen, which installs the
        // apps afresh: badges are the device's, not the process's.
        if (result["ok"] == true) {
            for (auto& a : options_.apps)
                if (a.bundle == bundle) a.badge = storedBadge(value);
        }
        return result;
    }
    if (type == "siri") {
        bool visible;
        if (!boolean(r, "visible", visible)) return error("visible is true or false");
        return one(std::string("siri visible ") + (visible ? "yes" : "no"));
    }
    if (type == "lift") return actLift(text(r, "bundle"));
    if (type == "respring") return actRespring();
    if (type == "reset") return actReset();
    if (type == "screen") return actScreen(r);
    return error("unknown request " + (type.empty() ? std::string("(no type)") : type));
}

Json Phone::applyTouch(const Json& r) {
    std::string type = text(r, "type");
    if (type == "touch") return actTouch(r);
    if (type == "moves") return actMoves(r);
    // The finger is still down, and the page's clock has moved on.
    follow(member(r, "t"));
    return {{"ok", true}};
}

void Phone::endTouchOrder() {
    if (order_.touch.empty()) return;
    order_.ended.push_back(order_.touch);
    if (order_.ended.size() > kEndedTouches) order_.ended.pop_front();
    std::erase_if(order_.early, [&](const auto& e) { return e.first.first == order_.touch; });
    order_.touch.clear();
}

Json Phone::sequenced(const Json& r) {
    const Json& id = member(r, "touch");
    const Json& seq = member(r, "seq");
    if (!(id.is_string() || id.is_number_integer()) || !seq.is_number_integer() || seq.get<long long>() < 0)
        return error("a touch action in order carries touch (its id) and seq (0 for the down, then 1, 2, ...)");
    std::string key = id.dump();
    long long n = seq.get<long long>();
    bool down = text(r, "type") == "touch" && text(r, "phase") == "down";
    if (down != (n == 0)) return error("seq 0 is the touch down, and only it");
    bool ended = std::find(order_.ended.begin(), order_.ended.end(), key) != order_.ended.end();
    if (ended || (key == order_.touch && n < order_.next)) return {{"ok", true}, {"stale", true}};
    if (!down && (key != order_.touch || n > order_.next)) {
        // Early: the actions before it are still on their way.
        if (order_.early.size() >= kMaxEarly) return error("too many touch actions out of order");
        order_.early.emplace(std::pair{key, n}, r);
        return {{"ok", true}, {"queued", true}};
    }
    if (down) {
        // A new finger: whatever another touch left waiting never comes.
        if (!order_.touch.empty() && order_.touch != key) endTouchOrder();
        std::erase_if(order_.early, [&](const auto& e) { return e.first.first != key; });
        order_.touch = key;
        order_.next = 0;
    }
    auto apply = [&](const Json& action) {
        Json result = applyTouch(action);
        ++order_.next;
        std::string phase = text(action, "phase");
        if (phase == "up" || phase == "cancel") endTouchOrder();
        return result;
    };
    Json result = apply(r);
    // The actions that came early and are next now.
    for (auto it = order_.early.find({key, order_.next}); order_.touch == key && it != order_.early.end();
         it = order_.early.find({key, order_.next})) {
        Json waiting = std::move(it->second);
        order_.early.erase(it);
        apply(waiting);
    }
    return result;
}

Json Phone::actTouch(const Json& r) {
    const Json& x = member(r, "x");
    const Json& y = member(r, "y");
    const Json& t = member(r, "t");
    std::string phase = text(r, "phase");
    std::string why;
    auto line = touchLine(phase, x.is_number() ? x.get<double>() : NAN, y.is_number() ? y.get<double>() : NAN,
                          options_.width, options_.height, why);
    if (!line) return error(why);
    if (phase == "down") {
        // A touch without the page's time keeps to this process's clock.
        bool timed = t.is_number() && std::isfinite(t.get<double>());
        gesture_ = Gesture();
        if (timed) gesture_ = {true, t.get<double>(), virtualNow_, t.get<double>(), options_.clock()};
    } else {
        follow(t);
    }
    // The home screen asks at every touch down, before the touch reaches
    // a window.
    if (phase == "down") askLocked();
    // Moves are many and say little: the trace shows where a touch began
    // and ended.
    SimAnswer a = run(*line, phase != "move");
    if (phase == "up" || phase == "cancel") {
        if (gesture_.active) lastAdvance_ = options_.clock();
        gesture_ = Gesture();
    }
    if (!a.ok()) return error(a.error);
    bool through = std::any_of(a.trace.begin(), a.trace.end(),
                               [](const std::string& t) { return eventOf(t).rfind("touch-through ", 0) == 0; });
    return {{"ok", true}, {"through", through}};
}

// The path of a moving finger, point by point: as many moves as the page
// saw, so a fast finger does not jump past the edge of what it drags.
Json Phone::actMoves(const Json& r) {
    const Json& points = member(r, "points");
    if (!points.is_array() || points.empty() || points.size() > kMaxMoves)
        return error("points is a list of 1 to " + std::to_string(kMaxMoves) + " [x, y, t]");
    std::vector<std::pair<std::string, Json>> lines;
    for (const auto& p : points) {
        std::string why;
        bool shaped = p.is_array() && (p.size() == 2 || p.size() == 3) && p[0].is_number() && p[1].is_number();
        auto line = shaped ? touchLine("move", p[0].get<double>(), p[1].get<double>(), options_.width, options_.height, why)
                           : std::nullopt;
        if (!line) return error("a point is [x, y] or [x, y, t]");
        lines.emplace_back(*line, p.size() == 3 ? p[2] : Json(nullptr));
    }
    for (const auto& [line, t] : lines) {
        follow(t);
        if (auto a = run(line, false); !a.ok()) return error(a.error);
    }
    return {{"ok", true}};
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
// badges, unlocked, and a fresh home screen.
Json Phone::actReset() {
    if (child_) {
        run("delete settings");
        run("delete state");
    }
    hub_.addTrace(FrameHub::TraceKind::Input, "reset the device");
    host_ = Json::object();
    hostCurrent_ = false;
    call_ = nullptr;
    auto seeds = defaultApps();
    for (auto& a : options_.apps)
        for (const auto& s : seeds)
            if (s.bundle == a.bundle) a.badge = s.badge;
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

Json Phone::metaTouch() const {
    bool ended = order_.touch.empty();
    if (ended && order_.ended.empty()) return nullptr;
    const std::string& id = ended ? order_.ended.back() : order_.touch;
    return {{"id", Json::parse(id, nullptr, false)}, {"seq", order_.next - 1}, {"ended", ended}};
}

const AppSeed* Phone::app(const std::string& bundle) const {
    for (const auto& a : options_.apps)
        if (a.bundle == bundle) return &a;
    return nullptr;
}

Json Phone::config() const {
    std::lock_guard lock(mutex_);
    Json apps = Json::array();
    for (const auto& a : options_.apps) apps.push_back({{"bundle", a.bundle}, {"name", a.name}});
    Json settings = Json::array();
    for (const auto& s : settingSpecs()) {
        Json j = {{"key", s.key},
                  {"type", s.type == SettingType::Boolean ? "boolean" : s.type == SettingType::Number ? "number" : "colour"},
                  {"default", s.defaultValue},
                  {"group", s.group},
                  {"label", s.label},
                  {"help", s.help}};
        if (s.type == SettingType::Number) {
            j["min"] = s.min;
            j["max"] = s.max;
            j["step"] = s.step;
        }
        settings.push_back(j);
    }
    return {{"screen", {{"width", options_.width}, {"height", options_.height}, {"scale", options_.scale}}},
            {"screenPresets", screenPresets()},
            {"apps", apps},
            {"settings", settings},
            {"choicePrefix", kChosenPrefix},
            {"hiddenPrefix", kHiddenPrefix}};
}

Json Phone::lastDump() const {
    std::lock_guard lock(mutex_);
    return dump_;
}

int Phone::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

} // namespace playground
