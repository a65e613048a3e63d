// The host's events as scenario commands: each asks the host for one
// event, sent through the runtime as the phone sends it.
#include "sim/HostEvents.h"

#include <filesystem>

#include "foundation/DevicePaths.h"
#include "foundation/NotificationCenter.h"
#include "interfaces/PublicNames.h"
#include "sim/DeviceSetUp.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "sim/Suggest.h"
#include "springboard/HostNotifications.h"
#include "springboard/SpringBoardHost.h"

namespace fs = std::filesystem;

const std::vector<CommandRow<HostEvents>>& HostEvents::rows() {
    using S = HostEvents;
    using P = CommandPhase;
    static const std::vector<CommandRow<HostEvents>> table = {
        {"notify", "notify settings", P::Any, nullptr, &S::cmdNotify},
        {"front", "front BUNDLE|home|other", P::Booted, nullptr, &S::cmdFront},
        {"orientation",
         "orientation portrait|upside down|landscape left|landscape right|1-4|0 [notify=both|darwin|local|none] | "
         "orientation code=N [notify=...]",
         P::Any, nullptr, &S::cmdOrientation},
        {"cc", "cc present|dismiss", P::Booted, nullptr, &S::cmdCC},
        {"lockstate", "lockstate N", P::Booted, nullptr, &S::cmdLockState},
        {"uilocked", "uilocked yes|no", P::Any, nullptr, &S::cmdUILocked},
        {"query", "query uilocked", P::Booted, nullptr, &S::cmdQuery},
        {"lockscreen", "lockscreen dismiss", P::Booted, nullptr, &S::cmdLockScreen},
        {"passcode", "passcode appear|disappear", P::Booted, nullptr, &S::cmdPasscode},
        {"badge", "badge BUNDLE VALUE|none", P::Booted, nullptr, &S::cmdBadge},
        {"call", "call STATUS|none|noobject", P::Booted, nullptr, &S::cmdCall},
        {"siri", "siri visible yes|no | siri framework yes|no", P::Any, nullptr, &S::cmdSiri},
    };
    return table;
}

std::string HostEvents::cmdNotify(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "settings") return c.usage;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChangedNotification,
                                         nullptr, nullptr, true);
    return "";
}

std::string HostEvents::cmdFront(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto& host = SpringBoardHost::current();
    const std::string& what = w[1].text;
    if (what == "home" && !w[1].quoted) host.goHome();
    else if (what == "other" && !w[1].quoted) host.bringOtherDisplayToFront();
    else if (!host.bringToFront(what)) return "no app " + what + " is installed";
    return "";
}

// Words after `orientation` up to the options: "landscape left", or one
// word, make one name.
std::string HostEvents::cmdOrientation(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() < 2) return c.usage;
    std::string name, notify = "both";
    std::optional<long long> code;
    for (size_t i = 1; i < w.size(); ++i) {
        std::string k, v;
        if (!splitOption(w[i].text, k, v)) {
            if (code) return c.usage;
            name += (name.empty() ? "" : " ") + w[i].text;
            continue;
        }
        if (k == "notify") {
            if (v != "both" && v != "darwin" && v != "local" && v != "none")
                return "notify is both, darwin, local or none";
            notify = v;
        } else if (k == "code" && name.empty()) {
            // A code no phone sends, for a test of how the plugin copes.
            code = parseInteger(v);
            if (!code || *code < INT32_MIN || *code > INT32_MAX) return "code is a 32-bit integer";
        } else {
            return "unknown orientation option " + w[i].text + didYouMean(k, {"notify", "code"});
        }
    }
    if (!code) {
        std::string error;
        code = parseOrientation(name, error);
        if (!code) return error;
    }
    // Before the boot: the device is held so as the home screen starts,
    // which comes up that way (its screen's bounds follow); nothing runs
    // yet to be told.
    if (!core_.booted()) {
        setUp_.initialState().frontMostOrientation = static_cast<long>(*code);
        return "";
    }
    SpringBoardHost::current().setFrontMostOrientation(*code);
    if (notify == "both" || notify == "darwin")
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kScreenChangedNotification,
                                             nullptr, nullptr, true);
    if (notify == "both" || notify == "local")
        CFNotificationCenterPostNotification(CFNotificationCenterGetLocalCenter(), kWindowDidRotateNotification,
                                             nullptr, nullptr, true);
    return "";
}

std::string HostEvents::cmdCC(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || (w[1].text != "present" && w[1].text != "dismiss")) return c.usage;
    SpringBoardHost::current().setControlCenterPresented(w[1].text == "present");
    return "";
}

std::string HostEvents::cmdLockState(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto n = parseInteger(w[1].text);
    if (!n) return "lockstate is the aggregator's lock state, an integer: 0 unlocked, 1 or 3 locked (a lock sends 3)";
    SpringBoardHost::current().setLockState(static_cast<uint64_t>(*n));
    return "";
}

// Before boot the answer is the one every boot of this device starts with.
std::string HostEvents::cmdUILocked(const CommandCall& c) {
    const Words& w = c.words;
    auto b = w.size() == 2 ? yesNo(w[1].text) : std::nullopt;
    if (!b) return c.usage;
    if (core_.booted()) SpringBoardHost::current().setUILocked(*b);
    else setUp_.initialState().uiLocked = *b;
    return "";
}

std::string HostEvents::cmdQuery(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "uilocked") return c.usage;
    SpringBoardHost::current().askUILocked();
    return "";
}

std::string HostEvents::cmdLockScreen(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "dismiss") return c.usage;
    SpringBoardHost::current().dismissLockScreen();
    return "";
}

std::string HostEvents::cmdPasscode(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2 || (w[1].text != "appear" && w[1].text != "disappear")) return c.usage;
    SpringBoardHost::current().setPasscodeVisible(w[1].text == "appear");
    return "";
}

std::string HostEvents::cmdBadge(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    id value = (w[2].text == "none" && !w[2].quoted) ? nullptr : badgeObject(w[2]);
    if (!SpringBoardHost::current().setBadgeValue(w[1].text, value)) return "no app " + w[1].text + " is installed";
    return "";
}

std::string HostEvents::cmdCall(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto& host = SpringBoardHost::current();
    id event;
    if (w[1].text == "none") {
        event = nullptr;
    } else if (w[1].text == "noobject") {
        event = host.makeCallEvent(false, 0);
    } else {
        auto status = parseInteger(w[1].text);
        if (!status || *status < INT32_MIN || *status > INT32_MAX)
            return "call status is a 32-bit integer, the telephony's: 4 incoming (ringing), 3 outgoing, 1 connected, "
                   "5 ending, 6 ended; or none (no event) or noobject (an event without a call)";
        event = host.makeCallEvent(true, static_cast<int>(*status));
    }
    host.sendCallEvent(event);
    return "";
}

std::string HostEvents::cmdSiri(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    auto b = yesNo(w[2].text);
    if (!b) return "siri " + w[1].text + " takes yes or no";
    if (w[1].text == "visible") {
        if (core_.booted()) SpringBoardHost::current().setSiriVisible(*b);
        else setUp_.initialState().siriVisible = *b;
        return "";
    }
    if (w[1].text == "framework") {
        std::error_code ec;
        std::string dir = DevicePaths::map(kAccessibilityPhysicalInteractionPath);
        if (*b) fs::create_directories(dir, ec);
        else fs::remove_all(dir, ec);
        return ec ? "cannot change " + dir + ": " + ec.message() : "";
    }
    return c.usage;
}
