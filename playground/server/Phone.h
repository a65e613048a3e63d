// The phone around the home screen, as the server holds it. The
// home-screen process is the child, reached through HomeScreenLink; the
// phone's clock (PhoneClock), the order of a touch's actions (TouchOrder)
// and a recording's replay (Replay) are parts this class owns, and the
// simulator plays the rest of the phone. Every request from the page
// arrives here as typed values and leaves as whitelisted scenario lines.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playground/server/Commands.h"
#include "playground/server/FrameHub.h"
#include "playground/server/HomeScreenLink.h"
#include "playground/server/PhoneClock.h"
#include "playground/server/Recorder.h"
#include "playground/server/Replay.h"
#include "playground/server/SimChild.h"
#include "playground/server/TouchOrder.h"

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
    // One request type's handler (PhoneRequests.cpp).
    using Handler = Json (*)(Phone&, const Json&);
    static const std::map<std::string, Handler>& handlers();
    Json dispatch(const Json& request);

    // A touch action: `touch` (phase), `moves`, `hold`, in the page's order
    // when numbered (PhoneTouch.cpp).
    Json touchAction(const Json& request);
    Json applyTouch(const Json& request);
    Json actTouch(const Json& r);
    Json actMoves(const Json& r);
    // Ends the touch a page left down, or one a new finger replaces.
    void cancelTouch();

    // The home screen's start, end and recovery (PhoneChild.cpp).
    void startChild();
    void stopChild();
    void recover(const std::string& why);

    // The clock's steps and what each shows (PhoneSteps.cpp, PhonePublish.cpp).
    void catchUp();
    void publish();
    // When the phone next needs a step after a picture (see tick()).
    double nextStep(const Json& dump, bool pictureChanged) const;
    Json metaLocked() const;

    const AppSeed* app(const std::string& bundle) const;
    SimAnswer run(const std::string& line, bool echo = true) { return link_->run(line, echo); }

    // The page's requests (PhoneRequests.cpp).
    Json actSetting(const Json& r);
    Json actFile(const Json& r);
    Json actChoose(const Json& r);
    Json actFront(const Json& r);
    Json actCall(const Json& r);
    Json actOrientation(const Json& r);
    Json actBadge(const Json& r);
    // A line whose refusal by the home screen is the answer.
    Json actPhone(const std::string& line);
    // A switch of the phone's own: `on` or `off` by the request's boolean.
    Json actSwitch(const Json& r, const char* name, const char* on, const char* off);
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

    Options options_;
    FrameHub& hub_;
    // What the plugin says of itself (springboard-sim describe), and its
    // settings table read from it.
    Json description_;
    std::vector<SettingSpec> settings_;
    mutable std::mutex mutex_;
    // Made in this order: each part is handed those above it.
    Recorder recorder_;
    std::unique_ptr<HomeScreenLink> link_;
    std::unique_ptr<PhoneClock> clock_;
    std::unique_ptr<TouchOrder> order_;
    std::unique_ptr<Replay> replay_;
    Json dump_ = Json::object();
    int generation_ = 0;
    std::string lastSvg_;
    double nextStep_ = 0;
    // The home screen's changes (HomeScreenLink::changes) last shown.
    long long publishedAfter_ = -1;
    // Requests wake the step loop; its own lock, as act() holds mutex_.
    std::mutex wakeMutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false;
    bool moved_ = false;
    std::string failure_;        // why the home screen is down, if it is
    int recentFailures_ = 0;
    double lastFailure_ = -1e9;
};

} // namespace playground
