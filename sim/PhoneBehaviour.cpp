#include "sim/PhoneBehaviour.h"

#include <cmath>

#include "foundation/NSUserDefaults.h"
#include "foundation/RunLoop.h"
#include "sim/DeviceSetUp.h"
#include "sim/HomeScreenLayout.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "springboard/SpringBoard.h"

namespace {

// The lock state of a locked phone with a passcode, as its aggregator
// reports it; 0 is unlocked.
constexpr uint64_t kLockedState = 3;

// How many rounds of answers one command may set off: an answer may raise
// another request, and a plugin that asks for ever must not hang the phone.
constexpr int kAnswerRounds = 16;

// How far a finger may stray and still tap, in points, and how long it may
// rest, in seconds.
constexpr double kTapSlop = 8;
constexpr double kLongPress = 0.5;

SpringBoardHost& host() { return SpringBoardHost::current(); }

} // namespace

const std::vector<CommandRow<PhoneBehaviour>>& PhoneBehaviour::rows() {
    using S = PhoneBehaviour;
    using P = CommandPhase;
    static const std::vector<CommandRow<PhoneBehaviour>> table = {
        {"phone", "phone answers yes|no | phone starts locked|unlocked", P::Any, nullptr, &S::cmdPhone},
        {"unlock", "unlock", P::Booted, nullptr, &S::cmdUnlock},
        {"lock", "lock", P::Booted, nullptr, &S::cmdLock},
        {"press", "press home", P::Booted, nullptr, &S::cmdPress},
        {"open", "open BUNDLE|home|passcode|controlcenter|siri", P::Booted, nullptr, &S::cmdOpen},
        {"close", "close passcode|controlcenter|siri", P::Booted, nullptr, &S::cmdClose},
    };
    return table;
}

void PhoneBehaviour::requested(const HostRequest& request) {
    if (answers_) requests_.push_back(request);
}

void PhoneBehaviour::launched() {
    // What the home screen asked before it was up is not answered.
    requests_.clear();
    if (startsLocked_ && host().state().uiLocked) comeUpLocked();
}

// Siri is not the home screen's: on a phone it outlasts a respring.
void PhoneBehaviour::respringing() {
    if (answers_) setUp_.initialState().siriVisible = host().state().siriVisible;
}

bool PhoneBehaviour::answering() const { return answers_ && core_.booted() && SpringBoardHost::isBooted(); }

// The home screen asks whether the phone is locked before a touch reaches
// any window.
void PhoneBehaviour::touchStarts() {
    if (answering()) askLocked();
    throughTouch_.reset();
}

void PhoneBehaviour::touchWentThrough(double x, double y) {
    if (!answering()) return;
    throughTouch_ = CGPointMake(x, y);
    throughSince_ = NSRunLoop::mainRunLoop().now();
}

// A finger that travels is no longer a tap.
void PhoneBehaviour::touchMoved(double x, double y) {
    if (throughTouch_ && std::hypot(x - throughTouch_->x, y - throughTouch_->y) > kTapSlop) throughTouch_.reset();
}

void PhoneBehaviour::touchEnded(double x, double y) {
    auto tap = throughTouch_;
    throughTouch_.reset();
    // A finger held still is a long press, which the home screen's own
    // screen does nothing with.
    const bool quick = NSRunLoop::mainRunLoop().now() - throughSince_ < kLongPress;
    if (tap && quick && std::hypot(x - tap->x, y - tap->y) <= kTapSlop && answering()) phoneTap(tap->x, tap->y);
}

void PhoneBehaviour::hostStep(const std::function<void()>& event) {
    NSUserDefaults::waitForPendingWrites();
    event();
    core_.endTurn();
    NSUserDefaults::synchronize();
}

// The home screen asks whether the phone is locked whenever what is on
// screen changes; the plugin's answer to that question shows or hides the
// bubbles.
void PhoneBehaviour::shownStep(const std::function<void()>& event) {
    hostStep(event);
    askLocked();
}

void PhoneBehaviour::askLocked() {
    hostStep([] { host().askUILocked(); });
}

std::string PhoneBehaviour::cmdPhone(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    if (w[1].text == "answers") {
        auto b = yesNo(w[2].text);
        if (!b) return c.usage;
        answers_ = *b;
        requests_.clear();
        return "";
    }
    if (w[1].text == "starts" && (w[2].text == "locked" || w[2].text == "unlocked")) {
        // What every later boot starts with, as `uilocked` before boot.
        startsLocked_ = w[2].text == "locked";
        setUp_.initialState().uiLocked = startsLocked_;
        return "";
    }
    return c.usage;
}

// A phone's home screen starts on the lock screen: the lock state first
// (the locked value the plugin expects, so it changes nothing), then the
// first front display without an app, which is the lock screen, then the
// lock screen asks whether the phone is locked. Each after the launch, as
// lines of their own.
void PhoneBehaviour::comeUpLocked() {
    NSUserDefaults::synchronize();
    hostStep([] { host().setLockState(kLockedState); });
    shownStep([] { host().goHome(); });
}

// The right passcode was entered, in the phone's order: the passcode view
// is up, the phone unlocks, the lock screen goes (the plugin launches an app
// whose bubble was tapped while locked), that app or the one under the lock
// screen or the home screen comes to the front, and only then does the
// passcode view go. With the passcode view going last, the front display
// decides what shows, as on the phone.
std::string PhoneBehaviour::cmdUnlock(const CommandCall&) {
    const HostState& st = host().state();
    if (!st.uiLocked) return "";
    std::string front = st.frontKind == FrontDisplayKind::App ? st.frontBundle : std::string();
    if (!st.passcodeVisible) shownStep([] { host().setPasscodeVisible(true); });
    hostStep([] { host().setUILocked(false); });
    hostStep([] { host().setLockState(0); });
    hostStep([] { host().dismissLockScreen(); });
    // The app the lock screen launched comes to the front now, not after
    // the passcode view has gone.
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
        if (it->kind == HostRequest::Kind::Launch && !it->suspended &&
            host().applicationWithBundleIdentifier(it->bundleIdentifier)) {
            front = it->bundleIdentifier;
            requests_.erase(it);
            break;
        }
    }
    hostStep([&] {
        if (front.empty()) host().goHome();
        else host().bringToFront(front);
    });
    hostStep([] { host().setPasscodeVisible(false); });
    askLocked();
    return "";
}

std::string PhoneBehaviour::cmdLock(const CommandCall&) {
    if (host().state().uiLocked) return "";
    if (host().state().controlCenterPresented) hostStep([] { host().setControlCenterPresented(false); });
    hostStep([] { host().setUILocked(true); });
    hostStep([] { host().setLockState(kLockedState); });
    // The lock screen asks whether the phone is locked as it comes up.
    askLocked();
    return "";
}

// The Home button as a person uses it: it closes the passcode view, shows it
// on the lock screen, closes Siri or Control Center, and otherwise goes home.
std::string PhoneBehaviour::cmdPress(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "home") return c.usage;
    const HostState& st = host().state();
    if (st.passcodeVisible) shownStep([] { host().setPasscodeVisible(false); });
    else if (st.uiLocked) shownStep([] { host().setPasscodeVisible(true); });
    else if (st.siriVisible) hostStep([] { host().setSiriVisible(false); });
    else if (st.controlCenterPresented) hostStep([] { host().setControlCenterPresented(false); });
    else if (st.frontKind != FrontDisplayKind::Home) shownStep([] { host().goHome(); });
    return "";
}

// What a person brings up by hand: an app (a tap on its icon), the home
// screen, the passcode view (which belongs to the lock screen), Control
// Center or Siri; each once, however often asked.
std::string PhoneBehaviour::cmdOpen(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    const HostState& st = host().state();
    const std::string& what = w[1].text;
    if (what == "controlcenter" && !w[1].quoted) {
        if (!st.controlCenterPresented) hostStep([] { host().setControlCenterPresented(true); });
    } else if (what == "siri" && !w[1].quoted) {
        if (!st.siriVisible) hostStep([] { host().setSiriVisible(true); });
    } else if (what == "home" && !w[1].quoted) {
        shownStep([] { host().goHome(); });
    } else if (what == "passcode" && !w[1].quoted) {
        if (st.passcodeVisible) return "";
        if (!st.uiLocked) return "the passcode view shows only on the lock screen: lock the phone first";
        shownStep([] { host().setPasscodeVisible(true); });
    } else {
        if (!host().applicationWithBundleIdentifier(what)) return "no app " + what + " is installed";
        shownStep([&] { host().bringToFront(what); });
    }
    return "";
}

std::string PhoneBehaviour::cmdClose(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    const HostState& st = host().state();
    if (w[1].text == "passcode") {
        if (st.passcodeVisible) shownStep([] { host().setPasscodeVisible(false); });
    } else if (w[1].text == "controlcenter") {
        if (st.controlCenterPresented) hostStep([] { host().setControlCenterPresented(false); });
    } else if (w[1].text == "siri") {
        if (st.siriVisible) hostStep([] { host().setSiriVisible(false); });
    } else {
        return c.usage;
    }
    return "";
}

// A tap on the phone's own screen, under every window: on the lock screen it
// wakes the passcode view; it closes Siri or Control Center; on the home
// screen it opens the app whose icon it hit. The passcode view's keypad and
// an app in front are their own.
void PhoneBehaviour::phoneTap(double x, double y) {
    const HostState& st = host().state();
    if (st.passcodeVisible) return;
    if (st.uiLocked) {
        shownStep([] { host().setPasscodeVisible(true); });
    } else if (st.siriVisible) {
        hostStep([] { host().setSiriVisible(false); });
    } else if (st.controlCenterPresented) {
        hostStep([] { host().setControlCenterPresented(false); });
    } else if (st.frontKind == FrontDisplayKind::Home) {
        const CGSize screen = core_.screenSize();
        std::vector<std::string> bundles;
        for (const auto& app : host().configuration().apps) bundles.push_back(app.bundleIdentifier);
        if (auto bundle = HomeScreenLayout(screen.width, screen.height, bundles).iconAt(x, y))
            shownStep([&] { host().bringToFront(*bundle); });
    }
}

void PhoneBehaviour::answerRequests() {
    for (int round = 0; round < kAnswerRounds && !requests_.empty(); ++round) {
        std::deque<HostRequest> batch;
        batch.swap(requests_);
        for (const auto& r : batch)
            if (core_.booted() && SpringBoardHost::isBooted()) answer(r);
    }
    requests_.clear();
}

// A launched app comes to the front (one launched in the background stays
// there); an unlock request on the lock screen brings up the passcode view.
void PhoneBehaviour::answer(const HostRequest& r) {
    switch (r.kind) {
    case HostRequest::Kind::Launch:
        if (!r.suspended && host().applicationWithBundleIdentifier(r.bundleIdentifier))
            shownStep([&] { host().bringToFront(r.bundleIdentifier); });
        break;
    case HostRequest::Kind::Unlock:
        if (host().state().uiLocked && !host().state().passcodeVisible)
            shownStep([] { host().setPasscodeVisible(true); });
        break;
    }
}
