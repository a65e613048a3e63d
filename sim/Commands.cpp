// The scenario language: every command in one table, and the host events
// a scenario sends through the runtime.
#include "sim/Simulator.h"

#include <algorithm>
#include <filesystem>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/NotificationCenter.h"
#include "runtime/UnrecognizedSelector.h"
#include "sim/ScenarioParser.h"
#include "sim/Suggest.h"
#include "springboard/HostNotifications.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"

namespace fs = std::filesystem;

// Each command once: its name, its usage line, when it may run, and its
// handler. A usage line that is the name alone takes no arguments.
const std::vector<Simulator::Command>& Simulator::commands() {
    using S = Simulator;
    static const std::vector<Command> table = {
        // Device set-up.
        {"screen", "screen WxH [scale=S]", Phase::BeforeBoot, "screen is set before boot", &S::cmdScreen},
        {"app", "app BUNDLE [icon=yes|no] [badge=VALUE] [orientation=N]", Phase::BeforeBoot,
         "apps are installed before boot", &S::cmdApp},
        {"absent", "absent CLASS [SELECTOR]", Phase::BeforeBoot, "absent is set before boot", &S::cmdAbsent},
        {"plugin", "plugin PATH.so | plugin none", Phase::BeforeBoot, "plugins are installed before boot",
         &S::cmdPlugin},
        // Files.
        {"settings", "settings KEY=VALUE ...", Phase::Any, nullptr, &S::cmdFileKeys},
        {"state", "state KEY=VALUE ...", Phase::Any, nullptr, &S::cmdFileKeys},
        {"remove", "remove settings|state KEY", Phase::Any, nullptr, &S::cmdRemove},
        {"delete", "delete settings|state", Phase::Any, nullptr, &S::cmdDelete},
        {"put", "put settings|state PATH", Phase::Any, nullptr, &S::cmdPut},
        // The home screen's process. A second boot is refused by boot()
        // itself, after the words are checked.
        {"boot", "boot [load]", Phase::Any, nullptr, &S::cmdBoot},
        {"launch", "launch", Phase::Booted, nullptr, &S::cmdLaunch},
        {"respring", "respring", Phase::Booted, nullptr, &S::cmdRespring},
        // Host events.
        {"notify", "notify settings", Phase::Any, nullptr, &S::cmdNotify},
        {"front", "front BUNDLE|home|other", Phase::Booted, nullptr, &S::cmdFront},
        {"orientation",
         "orientation portrait|upside down|landscape left|landscape right|1-4|0 [notify=both|darwin|local|none] | "
         "orientation code=N [notify=...]",
         Phase::Any, nullptr, &S::cmdOrientation},
        {"cc", "cc present|dismiss", Phase::Booted, nullptr, &S::cmdCC},
        {"lockstate", "lockstate N", Phase::Booted, nullptr, &S::cmdLockState},
        {"uilocked", "uilocked yes|no", Phase::Any, nullptr, &S::cmdUILocked},
        {"query", "query uilocked", Phase::Booted, nullptr, &S::cmdQuery},
        {"lockscreen", "lockscreen dismiss", Phase::Booted, nullptr, &S::cmdLockScreen},
        {"passcode", "passcode appear|disappear", Phase::Booted, nullptr, &S::cmdPasscode},
        {"badge", "badge BUNDLE VALUE|none", Phase::Booted, nullptr, &S::cmdBadge},
        {"call", "call STATUS|none|noobject", Phase::Booted, nullptr, &S::cmdCall},
        {"siri", "siri visible yes|no | siri framework yes|no", Phase::Any, nullptr, &S::cmdSiri},
        // The phone's own actions, in the phone's order of host events.
        {"phone", "phone answers yes|no | phone starts locked|unlocked", Phase::Any, nullptr, &S::cmdPhone},
        {"unlock", "unlock", Phase::Booted, nullptr, &S::cmdUnlock},
        {"lock", "lock", Phase::Booted, nullptr, &S::cmdLock},
        {"press", "press home", Phase::Booted, nullptr, &S::cmdPress},
        {"open", "open BUNDLE|home|passcode|controlcenter|siri", Phase::Booted, nullptr, &S::cmdOpen},
        {"close", "close passcode|controlcenter|siri", Phase::Booted, nullptr, &S::cmdClose},
        // Touches and time.
        {"touch", "touch down TARGET | touch move|up X,Y | touch cancel", Phase::Any, nullptr, &S::cmdTouch},
        {"tap", "tap TARGET", Phase::Any, nullptr, &S::cmdTap},
        {"drag", "drag TARGET to X,Y [steps=N]", Phase::Any, nullptr, &S::cmdDrag},
        {"longpress", "longpress TARGET [for=SECONDS]", Phase::Any, nullptr, &S::cmdLongPress},
        {"menu", "menu \"TITLE\"", Phase::Any, nullptr, &S::cmdMenu},
        {"wait", "wait SECONDS", Phase::Any, nullptr, &S::cmdWait},
        // Looking.
        {"expect",
         "expect POINTER OP VALUE | expect trace|no-trace \"TEXT\" | expect onscreen|offscreen bubble:BUNDLE | "
         "expect bytes settings|state PATH | expect crash [\"TEXT\"]",
         Phase::Any, nullptr, &S::cmdExpect},
        {"dump", "dump [PATH.json|-|host]", Phase::Any, nullptr, &S::cmdDump},
        {"snapshot", "snapshot PATH.svg | snapshot PATH.png | snapshot -", Phase::Any, nullptr, &S::cmdSnapshot},
        {"echo", "echo TEXT...", Phase::Any, nullptr, &S::cmdEcho},
    };
    return table;
}

std::string Simulator::execute(const std::string& line) {
    ParsedLine parsed = splitScenarioLine(line);
    if (!parsed.error.empty()) return parsed.error;
    if (parsed.words.empty()) return "";
    // A command starts with every earlier preference write in its file,
    // those its driver made between commands (as a settings app would)
    // included: what the plugin or the dump reads of a file is then the
    // same on every run.
    NSUserDefaults::waitForPendingWrites();
    const std::string& name = parsed.words[0].text;
    const auto& table = commands();
    auto command = std::find_if(table.begin(), table.end(), [&](const Command& c) { return name == c.name; });
    // An `expect crash` before speaks of this command.
    std::optional<std::string> expectedCrash;
    if (name != "expect") expectedCrash = std::exchange(expectedCrash_, std::nullopt);
    std::string result, crash;
    try {
        result = command == table.end() ? unknownCommand(name) : run(*command, parsed.words, line);
        if (name != "expect") ranSinceExpect_ = true;
        endTurn();
        // The command's preference writes are in their files before the
        // next command runs, and its trace ends with their outcomes.
        NSUserDefaults::synchronize();
        // What the rest of the phone does in answer comes after the command
        // that asked for it, each answer as a command of its own.
        answerRequests();
    } catch (const UnrecognizedSelector& e) {
        ranSinceExpect_ = true;
        crash = e.what();
        crashed(e);
    }
    if (expectedCrash) {
        if (crash.empty()) {
            if (result.empty()) result = "expect crash: the home screen did not crash";
        } else if (crash.find(*expectedCrash) == std::string::npos) {
            result = "expect crash: the home screen crashed with " + quoteText(crash) + ", not with " +
                     quoteText(*expectedCrash);
        }
    } else if (!crash.empty()) {
        result =
            "the home screen crashed: " + crash + " (a scenario that expects it says expect crash on the line before)";
    }
    if (watcher_) watcher_->commandEnded();
    return result;
}

// The home screen's process dies of an uncaught exception; on the phone
// the home screen then starts again, which here is a respring. One that
// dies again while it starts stays down (until a respring or boot).
void Simulator::crashed(const UnrecognizedSelector& e) {
    emit(std::string("crash ") + UnrecognizedSelector::kName + ": " + e.what());
    NSUserDefaults::synchronize();
    requests_.clear();
    if (!launched_) {
        Process::terminate();
        booted_ = false;
        emit("the home screen stays down (it crashed while starting)");
        return;
    }
    try {
        respring();
    } catch (const UnrecognizedSelector& again) {
        emit(std::string("crash ") + UnrecognizedSelector::kName + ": " + again.what());
        Process::terminate();
        booted_ = false;
        emit("the home screen stays down (it crashed while starting)");
    }
}

std::vector<std::pair<std::string, std::string>> Simulator::commandUsages() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& c : commands()) out.emplace_back(c.name, c.usage);
    return out;
}

std::string Simulator::unknownCommand(const std::string& name) {
    std::vector<std::string> names;
    for (const auto& c : commands()) names.push_back(c.name);
    return "unknown command " + name + didYouMean(name, names) + "; springboard-sim help lists every command";
}

// A command without arguments refuses extra words before anything else; a
// command that needs the host refuses to run without one before it looks
// at its words; one that sets the device up refuses once it has booted.
std::string Simulator::run(const Command& command, const Words& words, const std::string& line) {
    std::string usage = command.usage;
    bool takesArguments = usage != command.name;
    if (!takesArguments && words.size() > 1) return usage + " takes no arguments";
    if (command.phase == Phase::Booted && !booted_) return "the device has not booted (boot first)";
    if (command.phase == Phase::BeforeBoot && booted_) return command.bootedReason;
    return (this->*command.handler)(Call{words, line, "usage: " + usage});
}

std::string Simulator::cmdBoot(const Call& c) {
    if (c.words.size() == 1) return boot();
    if (c.words.size() == 2 && c.words[1].text == "load") return boot(false);
    return c.usage;
}

std::string Simulator::cmdLaunch(const Call&) { return launch(); }

std::string Simulator::cmdRespring(const Call&) { return respring(); }

std::string Simulator::cmdEcho(const Call& c) {
    const Words& w = c.words;
    std::string text;
    for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i].text;
    if (options_.output) options_.output("-- " + text);
    if (watcher_) watcher_->caption(text);
    return "";
}

// ---- host events ----

std::string Simulator::cmdNotify(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "settings") return c.usage;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChangedNotification, nullptr,
                                         nullptr, true);
    return "";
}

std::string Simulator::cmdFront(const Call& c) {
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
std::string Simulator::cmdOrientation(const Call& c) {
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
    if (!booted_) {
        initialState_.frontMostOrientation = static_cast<long>(*code);
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

std::string Simulator::cmdCC(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2 || (w[1].text != "present" && w[1].text != "dismiss")) return c.usage;
    SpringBoardHost::current().setControlCenterPresented(w[1].text == "present");
    return "";
}

std::string Simulator::cmdLockState(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto n = parseInteger(w[1].text);
    if (!n) return "lockstate is the aggregator's lock state, an integer: 0 unlocked, 1 or 3 locked (a lock sends 3)";
    SpringBoardHost::current().setLockState(static_cast<uint64_t>(*n));
    return "";
}

// Before boot the answer is the one every boot of this device starts with.
std::string Simulator::cmdUILocked(const Call& c) {
    const Words& w = c.words;
    auto b = w.size() == 2 ? yesNo(w[1].text) : std::nullopt;
    if (!b) return c.usage;
    if (booted_) SpringBoardHost::current().setUILocked(*b);
    else initialState_.uiLocked = *b;
    return "";
}

std::string Simulator::cmdQuery(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "uilocked") return c.usage;
    SpringBoardHost::current().askUILocked();
    return "";
}

std::string Simulator::cmdLockScreen(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2 || w[1].text != "dismiss") return c.usage;
    SpringBoardHost::current().dismissLockScreen();
    return "";
}

std::string Simulator::cmdPasscode(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2 || (w[1].text != "appear" && w[1].text != "disappear")) return c.usage;
    SpringBoardHost::current().setPasscodeVisible(w[1].text == "appear");
    return "";
}

std::string Simulator::cmdBadge(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    id value = (w[2].text == "none" && !w[2].quoted) ? nullptr : badgeObject(w[2]);
    if (!SpringBoardHost::current().setBadgeValue(w[1].text, value)) return "no app " + w[1].text + " is installed";
    return "";
}

std::string Simulator::cmdCall(const Call& c) {
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

std::string Simulator::cmdSiri(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    auto b = yesNo(w[2].text);
    if (!b) return "siri " + w[1].text + " takes yes or no";
    if (w[1].text == "visible") {
        if (booted_) SpringBoardHost::current().setSiriVisible(*b);
        else initialState_.siriVisible = *b;
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
