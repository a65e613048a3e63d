// springboard-sim's device: a device root, the host, the plugins it loads,
// and the scenario commands that drive them. One Simulator is one phone;
// only one may exist at a time, because the platform's process state is
// process-wide.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "interfaces/PluginInspection.h"
#include "interfaces/PublicNames.h"
#include "sim/DeviceRoot.h"
#include "sim/JsonPointer.h"
#include "sim/Snapshot.h"
#include "springboard/SpringBoardHost.h"

class UIAlertController;
class UnrecognizedSelector;
class UIView;
struct Word;

// Whoever films the run (sim/Film.h) watches it through this: every
// frame's time the clock reaches, every touch of the finger, the end of
// every command. While one watches, the clock goes from frame to frame,
// firing every timer at its own due time and ending where one advance
// would, so a filmed run is the same run.
class SimulatorWatcher {
public:
    enum class Finger { Down, Move, Up, Cancel };
    virtual ~SimulatorWatcher() = default;
    // Seconds of the phone's clock between two frames.
    virtual double frameInterval() const = 0;
    // Whether the picture has stood still long enough that its frames are
    // left out: the clock may then leap to the next timer while nothing
    // animates.
    virtual bool still() const = 0;
    virtual void clockTick() = 0;
    virtual void finger(Finger what, double x, double y) = 0;
    virtual void commandEnded() = 0;
    // An `echo` line's text: what the scenario says is happening.
    virtual void caption(const std::string&) {}
};

class Simulator {
public:
    struct Options {
        // Empty: a fresh temporary folder, removed at the end. Otherwise
        // this folder is the device root and is kept.
        std::string root;
        // Where relative paths of put, plugin, dump and snapshot start.
        std::string baseDirectory = ".";
        // Every trace line (and every dump to standard output) goes here.
        std::function<void(const std::string&)> output;
        // The dump printed by `dump` without a path: on one line or indented.
        bool compactDump = false;
        // The device template copied into the root.
        std::string deviceTemplate;
        // Whether trace() keeps every line (`expect trace` reads it). A
        // long run that only watches `output` turns it off, so that its
        // memory stays flat.
        bool keepTrace = true;
    };

    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs one scenario line. Answers an empty string when the line ran
    // (blank lines and comments run), else why it could not run or which
    // expectation failed.
    std::string execute(const std::string& line);

    Json dump();
    // The dump's `host` alone: the phone around the home screen, read
    // without touching the plugin or the files (`dump host`).
    Json hostDump() const;
    // Every command of the language with its usage line, in the order the
    // reference lists them ("a | b" in a usage separates its forms).
    static std::vector<std::pair<std::string, std::string>> commandUsages();
    std::string snapshotSvg();
    const std::vector<std::string>& trace() const { return trace_; }
    const std::string& root() const { return root_.path(); }
    bool booted() const { return booted_; }
    // Virtual seconds since the device started; a respring does not reset it.
    double now() const;
    std::vector<ExportedBubble> bubbles() const;
    // What the loaded plugin hands over for inspection; nullopt when no
    // plugin offers it. request says what to ask for beyond the variables
    // and the bubbles (its want* members).
    std::optional<PluginInspection> inspectPlugin(PluginInspection request = {}) const;
    // What the plugin says it is (its settings table, files, prefixes),
    // loading the plugins first if they are not loaded; null when no
    // plugin offers a description.
    Json describePlugin();
    // The screen as the home screen's interface has it now: the `screen`
    // line's size, turned when the home screen came up sideways.
    CGSize screenSize() const;
    // Screen size in points, as the `screen` line set it.
    double screenWidth() const { return screenWidth_; }
    double screenHeight() const { return screenHeight_; }
    double screenScale() const { return screenScale_; }
    // Whether any view of a visible window, or its layer, animates now or
    // waits out an animation's delay.
    bool animating() const;
    // Not owned; nullptr stops watching.
    void setWatcher(SimulatorWatcher* watcher) { watcher_ = watcher; }

private:
    using Words = std::vector<Word>;
    // One line on its way to its command's handler.
    struct Call {
        const Words& words;
        const std::string& line;   // as written, for a value that runs to its end
        std::string usage;         // what a line of the wrong shape answers
    };
    using Handler = std::string (Simulator::*)(const Call&);
    // When a command may run.
    enum class Phase { Any, BeforeBoot, Booted };
    // One scenario command; commands() holds each once.
    struct Command {
        const char* name;
        const char* usage;          // the usage line; the name alone: no arguments
        Phase phase;
        const char* bootedReason;   // BeforeBoot: what it answers once booted
        Handler handler;
    };
    static const std::vector<Command>& commands();
    static std::string unknownCommand(const std::string& name);
    std::string run(const Command& command, const Words& words, const std::string& line);
    void emit(const std::string& event);
    // The end of the main run loop's turn, once an event has been handled:
    // what was left for it runs (an alert action's handler, say).
    void endTurn();
    // Whether trace lines go anywhere (kept, or handed to `output`).
    bool listening() const { return options_.keepTrace || static_cast<bool>(options_.output); }
    void connectDevice();
    void disconnectDevice();
    // Loads the plugins and, unless told not to, finishes launching.
    std::string boot(bool launch = true);
    std::string launch();
    std::string respring();
    std::string resolvePath(const std::string& path) const;
    std::string filePath(const std::string& which, std::string& error) const;

    std::string cmdBoot(const Call& c);
    std::string cmdLaunch(const Call& c);
    std::string cmdRespring(const Call& c);
    std::string cmdScreen(const Call& c);
    std::string cmdApp(const Call& c);
    std::string cmdAbsent(const Call& c);
    std::string cmdPlugin(const Call& c);
    std::string cmdFileKeys(const Call& c);
    std::string cmdRemove(const Call& c);
    std::string cmdDelete(const Call& c);
    std::string cmdPut(const Call& c);
    std::string cmdNotify(const Call& c);
    std::string cmdFront(const Call& c);
    std::string cmdOrientation(const Call& c);
    std::string cmdCC(const Call& c);
    std::string cmdLockState(const Call& c);
    std::string cmdUILocked(const Call& c);
    std::string cmdQuery(const Call& c);
    std::string cmdLockScreen(const Call& c);
    std::string cmdPasscode(const Call& c);
    std::string cmdBadge(const Call& c);
    std::string cmdCall(const Call& c);
    std::string cmdSiri(const Call& c);
    std::string cmdPhone(const Call& c);
    std::string cmdUnlock(const Call& c);
    std::string cmdLock(const Call& c);
    std::string cmdPress(const Call& c);
    std::string cmdOpen(const Call& c);
    std::string cmdClose(const Call& c);
    std::string cmdTouch(const Call& c);
    std::string cmdTap(const Call& c);
    std::string cmdDrag(const Call& c);
    std::string cmdLongPress(const Call& c);
    std::string cmdMenu(const Call& c);
    std::string cmdWait(const Call& c);
    std::string cmdExpect(const Call& c);
    // After an uncaught exception: the home screen starts again.
    void crashed(const UnrecognizedSelector& e);
    std::string expectBytes(const Words& w);
    std::string expectOnScreen(const Call& c);
    // Warns on the trace of settings the plugin will not read; before the
    // plugin is loaded they wait for the boot.
    void checkSettingsKeys(const std::vector<std::pair<std::string, id>>& entries);
    static std::string surroundings(const Json& dump, const std::string& path);
    // A screen point where a touch would land on view, if any.
    std::optional<CGPoint> reachablePoint(const std::shared_ptr<UIView>& view);
    std::string cmdDump(const Call& c);
    std::string cmdSnapshot(const Call& c);
    std::string cmdEcho(const Call& c);

    // The phone around the home screen (PhoneCommands.cpp). One host event
    // as a command of its own: it starts with the writes before it and ends
    // with its own in the files.
    void hostStep(const std::function<void()>& event);
    // A host event that changes what is on screen, then the home screen's
    // own question whether the phone is locked.
    void shownStep(const std::function<void()>& event);
    void askLocked();
    // After `phone starts locked`: the lock screen comes up at every start.
    void comeUpLocked();
    // Runs the answers to the requests queued since the last time, and to
    // those the answers raise, in order.
    void answerRequests();
    void answer(const HostRequest& request);
    // A tap that no window took, on the phone's own screen.
    void phoneTap(double x, double y);
    std::vector<SnapshotApp> homeScreenApps() const;

    // A TARGET: X,Y, bubble:BUNDLE or bubble#N, as a screen point.
    bool resolveTarget(const std::string& target, double& x, double& y, std::string& error);
    std::string touchDown(double x, double y);
    void touchMove(double x, double y);
    void touchUp(double x, double y);
    // The scenario's clock: one advance, or frame by frame while watched.
    void advanceClock(double seconds);

    Options options_;
    DeviceRoot root_;
    DeviceConfiguration configuration_;
    HostState initialState_;   // what every boot's host starts answering
    double screenWidth_ = 375, screenHeight_ = 667, screenScale_ = 2;
    bool booted_ = false;
    bool everBooted_ = false;
    bool launched_ = false;
    double timeBase_ = 0;
    std::vector<std::string> trace_;
    size_t traceMark_ = 0;    // after the line the last `expect trace` matched
    size_t expectMark_ = 0;   // the trace's length at the last expectation
    std::vector<std::pair<std::string, id>> uncheckedSettings_;
    bool ranSinceExpect_ = false; // a command other than expect ran since the last one
    bool lastExpectWasNoTrace_ = false;
    // `expect crash [TEXT]`: the next command must crash the home screen.
    std::optional<std::string> expectedCrash_;
    size_t noTraceFrom_ = 0; // where the window of the current run of no-trace lines starts
    int suppressWrites_ = 0;
    // `phone answers yes`: the requests of the home screen are answered as
    // a phone does; they wait here for the end of the command that made them.
    bool answers_ = false;
    std::deque<HostRequest> requests_;
    bool startsLocked_ = false; // `phone starts locked`
    // After `phone answers yes`: a touch down that no window took, while it
    // may still be a tap on the phone's own screen.
    std::optional<CGPoint> throughTouch_;
    double throughSince_ = 0; // the run loop's clock at its down
    SimulatorWatcher* watcher_ = nullptr;
};

// The text of the trace's time stamp, "[12.345]".
std::string traceTime(double seconds);
