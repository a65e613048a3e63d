// springboard-sim's device: a device root, the host, the plugins it loads,
// and the scenario commands that drive them. One Simulator is one phone;
// only one may exist at a time, because the platform's process state is
// process-wide. The Simulator is the core: the device's life (boot, launch,
// respring), the trace, the clock and the one table of commands. Each
// concern of the language is a part it owns, holding its own state and its
// rows of the table: DeviceSetUp, HostEvents, PhoneBehaviour, Touches,
// Expectations, RunOutput.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/PluginInspection.h"
#include "interfaces/PublicNames.h"
#include "sim/DeviceRoot.h"
#include "sim/JsonPointer.h"
#include "sim/SimulatorCore.h"
#include "sim/SimulatorWatcher.h"
#include "sim/Snapshot.h"
#include "springboard/SpringBoardHost.h"

class DeviceSetUp;
class Expectations;
class HostEvents;
class PhoneBehaviour;
class RunOutput;
class Touches;
class UnrecognizedSelector;
struct SimulatorCommand;

class Simulator : private SimulatorCore {
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

    Json dump() override;
    // The dump's `host` alone: the phone around the home screen, read
    // without touching the plugin or the files (`dump host`).
    Json hostDump() const override;
    // Every command of the language with its usage line, in the order the
    // reference lists them ("a | b" in a usage separates its forms).
    static std::vector<std::pair<std::string, std::string>> commandUsages();
    std::string snapshotSvg() override;
    const std::vector<std::string>& trace() const override { return trace_; }
    const std::string& root() const { return root_.path(); }
    bool booted() const override { return booted_; }
    // Virtual seconds since the device started; a respring does not reset it.
    double now() const;
    std::vector<ExportedBubble> bubbles() const override;
    // What the loaded plugin hands over for inspection; nullopt when no
    // plugin offers it. request says what to ask for beyond the variables
    // and the bubbles (its want* members).
    std::optional<PluginInspection> inspectPlugin(PluginInspection request = {}) const;
    // What the plugin says it is (its settings table, files, prefixes),
    // loading the plugins first if they are not loaded; null when no
    // plugin offers a description.
    Json describePlugin() override;
    // The screen as the home screen's interface has it now: the `screen`
    // line's size, turned when the home screen came up sideways.
    CGSize screenSize() const override;
    // Screen size in points, as the `screen` line set it.
    double screenWidth() const;
    double screenHeight() const;
    double screenScale() const;
    // Whether any view of a visible window, or its layer, animates now or
    // waits out an animation's delay.
    bool animating() const;
    // Not owned; nullptr stops watching.
    void setWatcher(SimulatorWatcher* watcher) { watcher_ = watcher; }

private:
    // The one table: every part's rows, in the order the reference lists them.
    static const std::vector<SimulatorCommand>& commands();
    void emit(const std::string& event) override;
    void endTurn() override;
    std::string resolvePath(const std::string& path) const override;
    void advanceClock(double seconds) override;
    SimulatorWatcher* watcher() const override { return watcher_; }
    // Loads the plugins and, unless told not to, finishes launching.
    std::string boot(bool launch = true);
    std::string launch();
    std::string respring();
    // After an uncaught exception: the home screen starts again.
    void crashed(const UnrecognizedSelector& e);

    Options options_;
    // Whether trace lines go anywhere (kept, or handed to `output`).
    const bool listening_;
    DeviceRoot root_;
    bool booted_ = false;
    bool everBooted_ = false;
    bool launched_ = false;
    double timeBase_ = 0;
    std::vector<std::string> trace_;
    SimulatorWatcher* watcher_ = nullptr;
    std::unique_ptr<DeviceSetUp> setUp_;
    std::unique_ptr<HostEvents> hostEvents_;
    std::unique_ptr<PhoneBehaviour> phone_;
    std::unique_ptr<Touches> touches_;
    std::unique_ptr<Expectations> expectations_;
    std::unique_ptr<RunOutput> output_;
};

// The text of the trace's time stamp, "[12.345]".
std::string traceTime(double seconds);
