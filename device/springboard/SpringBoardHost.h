// The simulated home-screen host: SpringBoard's classes as the runtime sees
// them, the objects behind them, and the host's own state.
//
// The host does nothing on its own. Whoever drives the device asks it for
// every event (an app coming to the front, Control Center, the lock screen,
// the passcode view) and reads its state, which only the host writes; the
// host sends each event through the runtime, so a plugin's replacement of
// the method sees it exactly as on the phone. Each host implementation of a
// method that a plugin replaces writes a "host-impl CLASS SELECTOR" trace
// line, so a driver can tell whether a replacement forwarded to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/Process.h"
#include "runtime/Runtime.h"
#include "uikit/UIApplication.h"

class SpringBoard;
class SBApplication;
class HostObject;

inline constexpr const char* kSpringBoardBundleIdentifier = "com.apple.springboard";
inline constexpr const char* kAccessibilityPhysicalInteractionPath =
    "/System/Library/PrivateFrameworks/AccessibilityPhysicalInteraction.framework";

// An app installed on the device.
struct InstalledApp {
    std::string bundleIdentifier;
    bool hasIcon = true;
    id badgeValue;          // NSString or NSNumber; nil for no badge
    long orientation = UIInterfaceOrientationPortrait;   // the app's interface orientation while in front
    // Whether the app brings its orientation to the front with it; an app
    // without one leaves the front-most orientation alone.
    bool hasOrientation = false;
};

// What belongs to the device rather than to one home-screen process: it is
// handed to every boot, so a respring keeps it.
struct DeviceConfiguration {
    std::vector<InstalledApp> apps;
    std::set<std::string> absentClasses;   // host classes this device lacks
    // Methods (or instance variables) this device's host version lacks, as
    // {class, selector}: the class and its subclasses answer no such
    // method, and the host never sends it.
    std::set<std::pair<std::string, std::string>> absentMethods;

    InstalledApp* app(const std::string& bundleIdentifier);
    const InstalledApp* app(const std::string& bundleIdentifier) const;
};

enum class FrontDisplayKind { Home, App, Other };

// The host's answers and what it has recorded, for one process.
struct HostState {
    FrontDisplayKind frontKind = FrontDisplayKind::Home;
    std::string frontBundle;            // the app in front, when frontKind is App
    long frontMostOrientation = UIInterfaceOrientationPortrait;      // what _frontMostAppOrientation answers
    bool orientationFromApp = false;    // the app in front brought it
    bool uiLocked = false;              // what isUILocked answers
    uint64_t lockState = 0;             // what the aggregator's lockState answers
    bool siriVisible = false;
    bool controlCenterPresented = false;
    bool passcodeVisible = false;
    // The status of the call the phone is in, as the last call event gave
    // it; none when that event carried no call.
    std::optional<int> callStatus;
    std::vector<std::string> launches;  // bundle identifiers, in order
    int unlockRequests = 0;
};

// What the home screen asks of the rest of the phone. The host only
// records it; whoever plays the rest of the phone may answer. (Siri is the
// host's own: it shows or hides at once when asked.)
struct HostRequest {
    enum class Kind { Launch, Unlock };
    Kind kind;
    std::string bundleIdentifier; // Launch: the app
    bool suspended = false;       // Launch: in the background
};

class SpringBoardHost : public ProcessComponent {
public:
    using TraceHandler = std::function<void(const std::string&)>;
    using RequestHandler = std::function<void(const HostRequest&)>;

    // The host of the current process (made empty on first use).
    static SpringBoardHost& current();
    // Whether the current process has a booted host, without making one.
    static bool isBooted();

    // Defines the host's runtime classes (all but the absent ones), makes
    // the host objects and installs the application object as the shared
    // application. Plugins are loaded by the caller after this and before
    // finishLaunching(), as on the device.
    // initial: what the host answers at first (isUILocked, Siri, ...).
    void install(const DeviceConfiguration& configuration, TraceHandler trace, const HostState& initial = {});
    bool installed() const { return installed_; }

    // Sends applicationDidFinishLaunching: to the application through the
    // runtime.
    void finishLaunching();

    void trace(const std::string& line) const;
    const HostState& state() const { return state_; }
    // Told of every request, after its trace line; for this process only.
    void setRequestHandler(RequestHandler handler) { requestHandler_ = std::move(handler); }

    // ---- events, as a driver asks for them ----
    // frontDisplayDidChange: with that app's SBApplication. An app with an
    // orientation of its own brings it, and the home screen is upright
    // again once it leaves. false, and nothing sent, for an app that is not
    // installed.
    bool bringToFront(const std::string& bundleIdentifier);
    // frontDisplayDidChange: with nil.
    void goHome();
    // frontDisplayDidChange: with a display that is not an app (a widget,
    // an alert item).
    void bringOtherDisplayToFront();
    // _willPresent / _didDismiss of Control Center.
    void setControlCenterPresented(bool presented);
    // The aggregator's lockState, then _updateLockState.
    void setLockState(uint64_t lockState);
    // viewDidAppear: / viewDidDisappear: of the passcode view.
    void setPasscodeVisible(bool visible);
    // What _frontMostAppOrientation answers from now on. The rotation's
    // notifications are posted by whoever turns the phone.
    void setFrontMostOrientation(long orientation);
    // What isUILocked and isSiriVisible answer; nothing is sent.
    void setUILocked(bool locked);
    void setSiriVisible(bool visible);
    // callEventHandler: of the telephony manager with `event` (nil, or one
    // from makeCallEvent). The phone knows its call whatever a plugin's
    // replacement does with the event, so the status is kept first.
    void sendCallEvent(const id& event);
    // The home screen's own question isUILocked, asked of its lock-screen
    // manager (the answer is the host's; a plugin's replacement sees it).
    void askUILocked();
    // lockScreenViewControllerWillDismiss of the lock-screen manager.
    void dismissLockScreen();
    // setBadgeValue: of an installed app's SBApplication; false for an app
    // that is not installed.
    bool setBadgeValue(const std::string& bundleIdentifier, const id& value);

    // ---- what the host does when asked through the runtime ----
    void launchApplication(const std::string& bundleIdentifier, bool suspended);
    void requestUnlock();
    bool isAbsent(const std::string& className) const { return configuration_.absentClasses.count(className) != 0; }

    // The configuration as it stands now: the apps carry the badge values
    // the host holds, so a respring keeps them.
    DeviceConfiguration configuration() const;
    // The configuration as booted, badges as they were then.
    const DeviceConfiguration& bootConfiguration() const { return configuration_; }

    std::shared_ptr<SpringBoard> application() const { return application_; }
    std::shared_ptr<SBApplication> applicationWithBundleIdentifier(const std::string& bundleIdentifier) const;
    const std::vector<std::shared_ptr<SBApplication>>& applications() const { return applications_; }
    id applicationController() const { return applicationController_; }
    id controlCenterController() const { return controlCenter_; }
    id lockScreenManager() const { return lockScreenManager_; }
    id lockStateAggregator() const { return lockStateAggregator_; }
    id passcodeViewController() const { return passcodeViewController_; }
    id telephonyManager() const { return telephonyManager_; }
    id accessibilityServer() const { return accessibilityServer_; }
    // nil until the framework bundle has been loaded.
    id systemActionHelper() const { return systemActionHelper_; }
    // A front display that is not an app (a widget, an alert item).
    id otherDisplay() const { return otherDisplay_; }

    // A call event as the telephony manager receives it: an event whose
    // `object` is a call answering `status`; withCall false gives an event
    // whose `object` is nil.
    id makeCallEvent(bool withCall, int status) const;

    // Whether the accessibility framework's directory exists on the device.
    static bool frameworkPresent();
    // Called for every NSBundle load: the framework's classes come with it.
    void bundleLoaded(const std::string& devicePath);

    void shutdown() override;

private:
    void defineClasses();
    // The methods this host version lacks go, in the classes defined so far.
    void removeAbsentMethods();
    // Sends a host event, unless this host version has no such method: a
    // host never sends what it does not implement.
    void send(const id& receiver, const SEL& sel, const Args& args = {}) const;
    void request(const HostRequest& r) const;
    DeviceConfiguration configuration_;
    TraceHandler trace_;
    RequestHandler requestHandler_;
    HostState state_;
    bool installed_ = false;
    std::shared_ptr<SpringBoard> application_;
    std::vector<std::shared_ptr<SBApplication>> applications_;
    id applicationController_;
    id controlCenter_;
    id lockScreenManager_;
    id lockStateAggregator_;
    id passcodeViewController_;
    id telephonyManager_;
    id accessibilityServer_;
    id systemActionHelper_;
    id otherDisplay_;
};
