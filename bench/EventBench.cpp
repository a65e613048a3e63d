// What each event the plugin handles costs on the simulated device, host
// dispatch and platform work included: the eleven replaced host methods,
// touches, the idle timer, a settings reload, a rotation, the long press
// and every menu action. Each iteration times one event; whatever sets the
// stage for it (the opposite event, a fresh front app) is left out.
#include <array>

#include "BenchDevice.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "springboard/HostNotifications.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIView.h"
#include "uikit/WindowServer.h"

namespace {

SpringBoardHost& host() { return SpringBoardHost::current(); }

// Time passing between two events, left out of the timing: on the phone
// events come apart, and what one started (a fade) is over by the next.
void settle() { NSRunLoop::mainRunLoop().advance(0.3); }

// The front display changing as the host announces it.
void sendFront(const std::string& what) {
    if (what == "home") host().goHome();
    else host().bringToFront(what);
}

// The replaced host methods.

void BM_applicationDidFinishLaunching(benchmark::State& state) { timeLaunches(state); }

void BM_frontDisplayDidChange(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    // An app without a hide flag, one with a hide flag, the home screen:
    // the bubbles are shown, hidden and shown again.
    const std::array<std::string, 3> cycle{kFrontApp, kHiddenApp, "home"};
    size_t i = 0;
    for (auto _ : state) {
        t.start();
        sendFront(cycle[i++ % cycle.size()]);
        t.stop();
        settle();
    }
}

void controlCenter(benchmark::State& state, bool timePresent) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    for (auto _ : state) {
        if (!timePresent) host().setControlCenterPresented(true);
        t.start();
        host().setControlCenterPresented(timePresent);
        t.stop();
        settle();
        if (timePresent) host().setControlCenterPresented(false);
    }
}
void BM_controlCenterWillPresent(benchmark::State& state) { controlCenter(state, true); }
void BM_controlCenterDidDismiss(benchmark::State& state) { controlCenter(state, false); }

void BM_isUILocked(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    id manager = host().lockScreenManager();
    bool locked = false;
    for (auto _ : state) {
        host().setUILocked(locked = !locked);
        t.start();
        msg(manager, "isUILocked");
        t.stop();
        settle();
    }
}

void BM_lockScreenViewControllerWillDismiss(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    id manager = host().lockScreenManager();
    for (auto _ : state) {
        host().setUILocked(true);
        msg(manager, "isUILocked");
        host().setUILocked(false);
        t.start();
        msg(manager, "lockScreenViewControllerWillDismiss");
        t.stop();
        settle();
    }
}

void BM_updateLockState(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    uint64_t i = 0;
    for (auto _ : state) {
        uint64_t lockState = (i++ % 2) ? 3 : 0;
        t.start();
        host().setLockState(lockState);
        t.stop();
        settle();
    }
}

void BM_setBadgeValue(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    id app = std::static_pointer_cast<NSObject>(host().applicationWithBundleIdentifier(chosenApp(0)));
    int i = 0;
    for (auto _ : state) {
        id value = NSNumber::numberWithInteger(i++ % 120 + 1);
        t.start();
        msg(app, "setBadgeValue:", value);
        t.stop();
        settle();
    }
}

void passcode(benchmark::State& state, bool timeAppear) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto send = [&](bool appear) { host().setPasscodeVisible(appear); };
    for (auto _ : state) {
        if (!timeAppear) send(true);
        t.start();
        send(timeAppear);
        t.stop();
        settle();
        if (timeAppear) send(false);
    }
}
void BM_passcodeViewDidAppear(benchmark::State& state) { passcode(state, true); }
void BM_passcodeViewDidDisappear(benchmark::State& state) { passcode(state, false); }

void BM_callEventHandler(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    id telephony = host().telephonyManager();
    // Ringing (hides), active, ended (shows again).
    const std::array<int, 3> statuses{4, 1, 6};
    size_t i = 0;
    for (auto _ : state) {
        id event = host().makeCallEvent(true, statuses[i++ % statuses.size()]);
        t.start();
        msg(telephony, "callEventHandler:", event);
        t.stop();
        settle();
    }
}

// Touches.

void BM_dragMove(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto& ws = WindowServer::shared();
    CGPoint p = d.bubblePoint(0);
    if (!ws.touchDown(p)) state.SkipWithError("the touch did not land on a window");
    int i = 0;
    for (auto _ : state) {
        // Back and forth, far enough to be a drag, never off the screen.
        double dx = (i++ % 2) ? 40 : 0;
        t.start();
        ws.touchMove(CGPointMake(100 + dx, 300 + dx));
        t.stop();
    }
    ws.touchUp(CGPointMake(100, 300));
}

void BM_dragRelease(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto& ws = WindowServer::shared();
    for (auto _ : state) {
        ws.touchDown(d.bubblePoint(0));
        ws.touchMove(CGPointMake(150, 320));
        ws.touchMove(CGPointMake(160, 330));
        t.start();
        ws.touchUp(CGPointMake(160, 330));
        t.stop();
        NSRunLoop::mainRunLoop().advance(0.3);
    }
}

void BM_tap(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto& ws = WindowServer::shared();
    CGPoint p = d.bubblePoint(0);
    size_t before = host().state().launches.size();
    for (auto _ : state) {
        t.start();
        ws.touchDown(p);
        ws.touchUp(p);
        t.stop();
        settle();
    }
    if (host().state().launches.size() == before) state.SkipWithError("the taps launched nothing");
}

// The idle timer's dearest tick: the one that dims every bubble (the ticks
// before it only count). Control Center coming and going shows the
// bubbles again and starts the count afresh, out of the timing.
void BM_idleTick(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto& loop = NSRunLoop::mainRunLoop();
    const auto& bubbles = d.sim().bubbles();
    for (auto _ : state) {
        host().setControlCenterPresented(true);
        host().setControlCenterPresented(false);
        loop.advance(7.0);
        t.start();
        loop.advance(1.0);
        t.stop();
    }
    if (!bubbles.empty() && bubbles.front().view && bubbles.front().view->alpha() > 0.5)
        state.SkipWithError("the tick did not dim the bubbles");
}

void BM_settingsReload(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto center = CFNotificationCenterGetDarwinNotifyCenter();
    for (auto _ : state) {
        t.start();
        CFNotificationCenterPostNotification(center, kSettingsChangedNotification, nullptr, nullptr, true);
        t.stop();
        settle();
    }
}

void BM_orientationChange(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto darwin = CFNotificationCenterGetDarwinNotifyCenter();
    auto local = CFNotificationCenterGetLocalCenter();
    const std::array<long, 4> orientations{3, 1, 4, 2};
    size_t i = 0;
    for (auto _ : state) {
        host().setFrontMostOrientation(orientations[i++ % orientations.size()]);
        t.start();
        CFNotificationCenterPostNotification(darwin, kScreenChangedNotification, nullptr, nullptr, true);
        CFNotificationCenterPostNotification(local, kWindowDidRotateNotification, nullptr, nullptr, true);
        t.stop();
        settle();
    }
}

// Holding a bubble until the menu comes up: the long press's time passes
// and the finger lifts.
void BM_longPress(benchmark::State& state) {
    BenchDevice d(shapeOf(state));
    EventTimer t(state);
    auto& ws = WindowServer::shared();
    CGPoint p = d.bubblePoint(0);
    for (auto _ : state) {
        ws.touchDown(p);
        t.start();
        NSRunLoop::mainRunLoop().advance(0.6);
        ws.touchUp(p);
        t.stop();
        auto alert = ws.visibleAlert();
        if (!alert) {
            state.SkipWithError("the long press brought up no menu");
            break;
        }
        alert->pickActionWithTitle("Cancel");
        NSRunLoop::mainRunLoop().runPendingBlocks();
        settle();
    }
}

enum class MenuAction { Lock, HideNow, Blacklist, SavePosition, AlignRow, AlignColumn, Cancel };

// Each action is picked from a freshly opened menu, with a front app not
// yet hidden (so that hiding does its work every time).
void BM_menuAction(benchmark::State& state, MenuAction action) {
    constexpr int kFrontApps = 64;
    BenchDevice d(shapeOf(state), BenchDevice::Boot::Launched, kFrontApps);
    EventTimer t(state);
    auto& ws = WindowServer::shared();
    int i = 0;
    for (auto _ : state) {
        if (i >= kFrontApps) {
            state.SkipWithError("out of fresh front apps");
            break;
        }
        sendFront(otherApp(i++));
        NSRunLoop::mainRunLoop().advance(0.5);
        CGPoint p = d.bubblePoint(0);
        ws.touchDown(p);
        NSRunLoop::mainRunLoop().advance(0.6);
        ws.touchUp(p);
        auto alert = ws.visibleAlert();
        if (!alert) {
            state.SkipWithError("the long press brought up no menu");
            break;
        }
        bool picked = false;
        t.start();
        switch (action) {
        case MenuAction::Lock: picked = alert->pickActionAtIndex(0); break;
        case MenuAction::HideNow: picked = alert->pickActionWithTitle("Hide NOW (Current App Until Respring)"); break;
        case MenuAction::Blacklist: picked = alert->pickActionWithTitle("Add Current App To Blacklist"); break;
        case MenuAction::SavePosition: picked = alert->pickActionWithTitle("Save Current Position"); break;
        case MenuAction::AlignRow: picked = alert->pickActionWithTitle("Align By This Button (Horizontally)"); break;
        case MenuAction::AlignColumn: picked = alert->pickActionWithTitle("Align By This Button (Vertically)"); break;
        case MenuAction::Cancel: picked = alert->pickActionWithTitle("Cancel"); break;
        }
        // The action's handler, at the end of the run loop's turn.
        NSRunLoop::mainRunLoop().runPendingBlocks();
        t.stop();
        // The preferences daemon's writes (blacklist, positions, the lock)
        // finish before the next event, as they would between two taps.
        NSUserDefaults::synchronize();
        if (!picked) {
            state.SkipWithError("the menu lacks the action");
            break;
        }
    }
}

// A fixed number of events per run: with manual timing the library would
// size the runs from the timed part alone, and where the stage-setting
// around a cheap event is dear that runs for minutes.
#define FT_EVENT(fn) BENCHMARK(fn)->Apply(eventShapes)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1000)

BENCHMARK(BM_applicationDidFinishLaunching)->Apply(eventShapes)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);
FT_EVENT(BM_frontDisplayDidChange);
FT_EVENT(BM_controlCenterWillPresent);
FT_EVENT(BM_controlCenterDidDismiss);
FT_EVENT(BM_isUILocked);
FT_EVENT(BM_lockScreenViewControllerWillDismiss);
FT_EVENT(BM_updateLockState);
FT_EVENT(BM_setBadgeValue);
FT_EVENT(BM_passcodeViewDidAppear);
FT_EVENT(BM_passcodeViewDidDisappear);
FT_EVENT(BM_callEventHandler);
FT_EVENT(BM_dragMove);
FT_EVENT(BM_dragRelease);
FT_EVENT(BM_tap);
FT_EVENT(BM_idleTick);
FT_EVENT(BM_settingsReload);
FT_EVENT(BM_orientationChange);
FT_EVENT(BM_longPress);

#define FT_MENU(name, action) \
    BENCHMARK_CAPTURE(BM_menuAction, name, action)->Apply(eventShapes)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20)

FT_MENU(lock, MenuAction::Lock);
FT_MENU(hideNow, MenuAction::HideNow);
FT_MENU(blacklist, MenuAction::Blacklist);
FT_MENU(savePosition, MenuAction::SavePosition);
FT_MENU(alignRow, MenuAction::AlignRow);
FT_MENU(alignColumn, MenuAction::AlignColumn);
FT_MENU(cancel, MenuAction::Cancel);

} // namespace
