// springboard-sim's device: a device root, the host, the plugins it loads,
// and the scenario commands that drive them. One Simulator is one phone;
// only one may exist at a time, because the platform's process state is
// process-wide.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/JsonPointer.h"
#include "springboard/SpringBoardHost.h"

class UIAlertController;
class UIView;
struct Word;

inline constexpr const char* kSettingsFile = "/var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist";
inline constexpr const char* kStateFile = "/var/mobile/Library/Preferences/com.vorlak.tilestateprefs.plist";
inline constexpr const char* kSettingsChanged = "com.vorlak.floattilesprefs.settingschanged";
inline constexpr const char* kPluginDirectory = "/Library/MobileSubstrate/DynamicLibraries";

// One bubble as the plugin hands it over for inspection.
struct ExportedBubble {
    std::string bundle;
    std::shared_ptr<UIView> view;
    std::shared_ptr<UIView> badgeView;
    std::shared_ptr<UIView> badgeLabel;
    id currentBadgeValue;
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
    std::string snapshotSvg();
    const std::vector<std::string>& trace() const { return trace_; }
    const std::string& root() const { return root_; }
    bool booted() const { return booted_; }
    // Virtual seconds since the device started; a respring does not reset it.
    double now() const;
    std::vector<ExportedBubble> bubbles() const;

private:
    using Words = std::vector<Word>;
    struct Command;
    void emit(const std::string& event);
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

    std::string cmdScreen(const Words& w);
    std::string cmdApp(const Words& w);
    std::string cmdAbsent(const Words& w);
    std::string cmdPlugin(const Words& w);
    std::string cmdFileKeys(const Words& w);
    std::string cmdRemove(const Words& w);
    std::string cmdDelete(const Words& w);
    std::string cmdPut(const Words& w);
    std::string cmdNotify(const Words& w);
    std::string cmdFront(const Words& w);
    std::string cmdOrientation(const Words& w);
    std::string cmdCC(const Words& w);
    std::string cmdLockState(const Words& w);
    std::string cmdUILocked(const Words& w);
    std::string cmdQuery(const Words& w);
    std::string cmdLockScreen(const Words& w);
    std::string cmdPasscode(const Words& w);
    std::string cmdBadge(const Words& w);
    std::string cmdCall(const Words& w);
    std::string cmdSiri(const Words& w);
    std::string cmdTouch(const Words& w);
    std::string cmdTap(const Words& w);
    std::string cmdDrag(const Words& w);
    std::string cmdLongPress(const Words& w);
    std::string cmdMenu(const Words& w);
    std::string cmdWait(const Words& w);
    std::string cmdExpect(const Words& w, const std::string& line);
    std::string expectBytes(const Words& w);
    std::string cmdDump(const Words& w);
    std::string cmdSnapshot(const Words& w);
    std::string cmdEcho(const Words& w);

    // A TARGET: X,Y, bubble:BUNDLE or bubble#N, as a screen point.
    bool resolveTarget(const std::string& target, double& x, double& y, std::string& error);
    std::string requireBooted() const;
    std::string touchDown(double x, double y);

    Options options_;
    std::string root_;
    bool removeRoot_ = false;
    DeviceConfiguration configuration_;
    std::set<std::string> appOrientations_;   // apps installed with orientation=N
    bool orientationFromApp_ = false;
    HostState initialState_;   // what every boot's host starts answering
    double screenWidth_ = 375, screenHeight_ = 667, screenScale_ = 2;
    bool booted_ = false;
    bool launched_ = false;
    double timeBase_ = 0;
    std::vector<std::string> trace_;
    size_t traceMark_ = 0;    // after the line the last `expect trace` matched
    size_t expectMark_ = 0;   // the trace's length at the last expectation
    int suppressWrites_ = 0;
};

// The text of the trace's time stamp, "[12.345]".
std::string traceTime(double seconds);
