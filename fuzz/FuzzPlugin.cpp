#include "FuzzPlugin.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "overlay/FTCustomViewController.h"
#include "overlay/bothVC.h"
#include "runtime/Process.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"
#include "springboard/HostNotifications.h"
#include "springboard/PluginState.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"
#include "springboard/Startup.h"
#include "uikit/UIAlertController.h"
#include "uikit/WindowServer.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

// Where the device root goes: $TMPDIR when set, else memory (/dev/shm)
// when there is such a place. Every input writes files and the preferences
// store syncs each write to disk; in memory that costs nothing, and the
// fuzzer runs about twice the inputs per second.
fs::path rootParent() {
    std::error_code ec;
    if (!std::getenv("TMPDIR") && fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path(ec);
}

// The device root: made at first use, removed when the fuzzer exits.
const std::string& deviceRoot() {
    static const std::string root = [] {
        std::string pattern = (rootParent() / "floattiles-fuzz-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) fail("cannot make a device root");
        std::string made = buf.data();
        DevicePaths::setRoot(made);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(DevicePaths::root(), ec);
        });
        return made;
    }();
    return root;
}

const std::vector<std::shared_ptr<UIButtonFT>> kNoBubbles;

// A touch at the centre of a bubble, in screen points.
CGPoint bubbleCentre(size_t index) {
    const auto& list = bubbles();
    if (index >= list.size()) return CGPointMake(-1, -1);
    const auto& view = list[index];
    CGPoint c = view->center();
    return view->superview() ? view->superview()->convertPointToScreen(c) : c;
}

bool finite(const CGRect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

} // namespace

void freshDevice() {
    const std::string& root = deviceRoot();
    resetPluginState();
    Process::terminate();
    std::error_code ec;
    fs::path prefs = fs::path(root) / "var/mobile/Library/Preferences";
    fs::remove_all(prefs, ec);
    fs::create_directories(prefs, ec);
    // A new device's preferences daemon has read none of its files.
    NSUserDefaults::forgetCopies();
}

std::string hostPath(const std::string& devicePath) {
    deviceRoot();
    return DevicePaths::map(devicePath);
}

void writeDeviceFile(const std::string& devicePath, const std::vector<uint8_t>& bytes) {
    std::ofstream out(hostPath(devicePath), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    check(static_cast<bool>(out), "cannot write a device file");
}

std::vector<uint8_t> readDeviceFile(const std::string& devicePath, bool* exists) {
    return readBytes(hostPath(devicePath), exists);
}

void bootPlugin(const std::vector<InstalledApp>& apps) {
    DeviceConfiguration config;
    config.apps = apps;
    SpringBoardHost::current().install(config, [](const std::string&) {});
    startPlugin();
}

void launch() { SpringBoardHost::current().finishLaunching(); }

FTCustomViewController* controller() {
    const auto& instance = overlayState().objSharedInstance;
    return instance ? instance->mainView.get() : nullptr;
}

const std::vector<std::shared_ptr<UIButtonFT>>& bubbles() {
    auto* c = controller();
    return c ? c->getbuttons() : kNoBubbles;
}

void frontApp(const std::string& bundle) {
    SpringBoardHost::current().bringToFront(bundle);
}

void frontHome() {
    SpringBoardHost::current().goHome();
}

void postSettingsChanged() {
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChangedNotification,
                                         nullptr, nullptr, true);
}

void setBadge(const std::string& bundle, const id& value) {
    auto app = SpringBoardHost::current().applicationWithBundleIdentifier(bundle);
    if (app) msg(std::static_pointer_cast<NSObject>(app), "setBadgeValue:", value);
}

void rotate(long orientation) {
    SpringBoardHost::current().setFrontMostOrientation(orientation);
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kScreenChangedNotification,
                                         nullptr, nullptr, true);
}

void controlCenter(bool present) {
    SpringBoardHost::current().setControlCenterPresented(present);
}

void call(int status) {
    auto& host = SpringBoardHost::current();
    msg(host.telephonyManager(), "callEventHandler:", host.makeCallEvent(true, status));
}

void lockState(uint64_t state) {
    SpringBoardHost::current().setLockState(state);
}

void tapBubble(size_t index) {
    if (index >= bubbles().size()) return;
    CGPoint p = bubbleCentre(index);
    auto& ws = WindowServer::shared();
    ws.touchDown(p);
    ws.touchUp(p);
}

void longPressAndPick(size_t index, const std::string& action) {
    if (index >= bubbles().size()) return;
    CGPoint p = bubbleCentre(index);
    auto& ws = WindowServer::shared();
    ws.touchDown(p);
    NSRunLoop::mainRunLoop().advance(0.6);
    ws.touchUp(p);
    auto alert = ws.visibleAlert();
    if (!alert) return;
    for (size_t i = 0; i < alert->actions().size(); ++i) {
        if (alert->actions()[i]->title().rfind(action, 0) == 0) {
            alert->pickActionAtIndex(i);
            // The action's handler runs at the end of the turn.
            NSRunLoop::mainRunLoop().runPendingBlocks();
            return;
        }
    }
    alert->pickActionAtIndex(alert->actions().size() - 1);
    NSRunLoop::mainRunLoop().runPendingBlocks();
}

void wait(double seconds) { NSRunLoop::mainRunLoop().advance(seconds); }

void checkPluginInvariants() {
    const FTSettings& s = settingsVariables();
    check(std::isfinite(s.bubbleSize) && s.bubbleSize > 0, "the bubble size is not a finite number above zero");
    size_t idleTimers = 0;
    for (const auto& timer : NSRunLoop::mainRunLoop().timers())
        if (timer->selector() == "timeOut:") ++idleTimers;
    check(idleTimers <= 1, "more than one idle timer runs");
    for (const auto& bubble : bubbles()) {
        check(finite(bubble->frame()), "a bubble's frame is not finite");
        if (auto badge = bubble->getBadgeView()) check(finite(badge->frame()), "a badge's frame is not finite");
    }
}

} // namespace fuzz
