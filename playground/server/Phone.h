// The phone around the home screen. The home-screen process is the child
// (SimChild); this class plays everything else a person expects of a phone:
// its clock runs with the wall clock, an app the home screen launches comes
// to the front, an unlock request brings up the passcode view, entering the
// passcode unlocks, the home button goes home, a respring starts the home
// screen again with the files kept. Every request from the page arrives
// here as typed values and leaves as whitelisted scenario lines.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playground/server/Commands.h"
#include "playground/server/FrameHub.h"
#include "playground/server/Recorder.h"
#include "playground/server/SimChild.h"

namespace playground {

struct AppSeed {
    std::string bundle;
    std::string name;    // as the home screen labels it
    Json badge;          // on a new device: null, a count or a text
    bool chosen = false; // has a bubble on a new device
};

// The apps a new playground phone comes with.
std::vector<AppSeed> defaultApps();

// The screens the page offers: [{name, label, width, height, scale}].
Json screenPresets();

class Phone {
public:
    // The springboard-sim this phone runs, for whoever runs another.
    const std::string& simProgram() const { return options_.simProgram; }
    struct Options {
        std::string simProgram;
        std::string root;   // the device root; kept across runs
        double width = 375, height = 667, scale = 2;
        std::vector<AppSeed> apps = defaultApps();
        // Seconds on a monotonic clock; the virtual clock follows it.
        std::function<double()> clock;
        // The longest the virtual clock jumps in one step, after a stall.
        double maxStep = 5.0;
        int answerTimeoutMs = 30000;
    };

    Phone(Options options, FrameHub& hub);
    ~Phone();
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // Starts the home screen (a new device gets its first choice of apps).
    void start();
    // Brings the virtual clock up to the wall clock and shows the result.
    // Answers how long, in seconds of the wall clock, until the phone next
    // needs a step: a display frame while anything moves or a finger is
    // down, the next timer's time while all is still, and infinity when
    // nothing will change until a request comes.
    double tick();
    // The step loop's pause: returns at `latest` (never before `earliest`),
    // or sooner once a request has come in since the last step, so that its
    // effects are shown at once and still no more often than a display
    // shows them.
    void waitForStep(std::chrono::steady_clock::time_point earliest, std::chrono::steady_clock::time_point latest);
    // Ends the current pause: at once when a finger moved or the server is
    // going down, otherwise no sooner than the pause's earliest.
    void wake(bool moved = true);
    // Runs one request from the page: {"type": ..., ...}. Answers
    // {"ok": true, ...} or {"ok": false, "error": REASON}.
    Json act(const Json& request);

    // What the page builds its panes from: screen, apps, settings keys.
    Json config() const;
    // The latest dump, as the page was last sent it.
    Json lastDump() const;
    // How many times the home screen has started.
    int generation() const;
    // The recording: {"recording", "keeping", "replaying", "revision",
    // "firstLine" (the file's line the first listed line is on),
    // "lines": [{"id", "text"}]}, and the same as a scenario file.
    Json recording() const;
    std::string recordedScenario() const;

private:
    // While a finger is down, the phone's clock follows the page's clock
    // (the time stamps of its pointer events) instead of this process's: a
    // finger held still for half a second is a long press however late its
    // events arrive, and a slow request never turns a drag into one.
    struct Gesture {
        bool active = false;
        double pageOrigin = 0;     // the page's time of the touch down, ms
        double virtualOrigin = 0;  // the phone's time then, s
        double lastPage = 0;       // the latest page time heard, ms
        double lastHeard = 0;      // this process's clock then, s
    };

    // A touch's actions as the page numbered them ({"touch": ID, "seq": N},
    // the down being 0): applied in that order whatever order they arrive
    // in, so a beat can never overtake the moves before it. One that comes
    // early waits for those before it; one already applied, or of a touch
    // that has ended, is dropped.
    struct TouchOrder {
        std::string touch;   // the touch being applied, as its id's JSON
        long long next = 0;  // the seq it applies next
        std::map<std::pair<std::string, long long>, Json> early;
        std::deque<std::string> ended;   // the latest touches that ended
    };

    Json dispatch(const Json& request);
    // A touch action in the page's order: `touch` (phase), `moves`, `hold`.
    Json sequenced(const Json& request);
    Json applyTouch(const Json& request);
    void endTouchOrder();
    // Moves the phone's clock on to `target` (virtual seconds), if it is
    // behind it: by at most `maxStep` unless `whole`.
    void advanceTo(double target, bool whole = false);
    // Follows the page's clock to page time `t` (ms) during a gesture.
    void follow(const Json& t);
    void startChild();
    void stopChild();
    void recover(const std::string& why);
    // Checks, sends and records one line.
    SimAnswer run(const std::string& line, bool echo = true);
    void catchUp();
    void publish();
    // When the phone next needs a step after a picture (see tick()).
    double nextStep(const Json& dump, bool pictureChanged) const;
    // The host's state (the dump's "host" member) as it stands after every
    // line sent so far: read again from the home screen when a line has
    // run since it was last read.
    const Json& host();
    Json metaLocked() const;
    Json metaTouch() const;
    const AppSeed* app(const std::string& bundle) const;

    Json actTouch(const Json& r);
    Json actMoves(const Json& r);
    Json actPhone(const std::string& line);
    Json actLift(const std::string& bundle);
    Json actRespring();
    Json actReset();
    // A screen preset: the phone restarts on it (ScreenPresets.cpp).
    Json actScreen(const Json& r);

    // Recording and replaying (PhoneRecording.cpp).
    Json actRecord(const Json& r);
    Json recordCheck(const Json& r);
    // A respring while recording: the scenario's own `respring`, in the
    // same home-screen process, so the clock the person saw keeps running
    // as it does in the replay.
    Json respringInPlace();
    Json startReplay();
    // Runs the replay on by the wall-clock time that passed; false when no
    // replay is running.
    bool replayStep();
    void endReplay(const std::string& why);

    Options options_;
    FrameHub& hub_;
    // What the plugin says of itself (springboard-sim describe), and its
    // settings table read from it.
    Json description_;
    std::vector<SettingSpec> settings_;
    mutable std::mutex mutex_;
    std::unique_ptr<SimChild> child_;
    Json dump_ = Json::object();
    Json host_ = Json::object();
    bool hostCurrent_ = false;
    double lastAdvance_ = 0;
    double virtualNow_ = 0;    // the child's clock: the sum of the waits sent
    Gesture gesture_;
    TouchOrder order_;
    int generation_ = 0;
    std::string lastSvg_;
    double nextStep_ = 0;
    // Requests wake the step loop; its own lock, as act() holds mutex_.
    std::mutex wakeMutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false;
    bool moved_ = false;
    std::string failure_;        // why the home screen is down, if it is
    int recentFailures_ = 0;
    double lastFailure_ = -1e9;
    Recorder recorder_;
    // The lines a replay has still to run, and what is left of the wait
    // it is in (tenths of a millisecond).
    std::deque<std::string> replay_;
    long long replayWait_ = 0;
    bool replaying_ = false;
    bool replayFingerDown_ = false; // a replayed touch is down
    double replaySpeed_ = 1;   // virtual seconds a replay runs in a second
};

} // namespace playground
