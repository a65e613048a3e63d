// The event storm's source: a seeded generator of events for one simulated
// phone. Almost every event is a scenario line, so that the steps before a
// failure read as a scenario; the rest are writes of values the scenario
// language cannot spell (NaN, infinities, data, dates, dictionaries),
// made directly through the preferences store.
//
// The generator sees only what a person at the phone would: where the
// bubbles are, whether an alert is up and what it offers, whether a finger
// is down. It answers only commands that can run in that state, so any
// command the simulator refuses is a fault of the device, not of the soak.
// The same seed gives the same events, for a replay.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "runtime/Runtime.h"

struct SoakApp {
    std::string bundle;
    std::string options;   // the rest of its `app` line
    bool chosen;           // FLTTILE- true at the start
};

// The device every soak runs on.
const std::vector<SoakApp>& soakApps();

enum class SoakEventKind {
    TouchDown, TouchMove, TouchUp, TouchCancel, Tap, Drag, LongPress, Menu, Wait,
    Front, Orientation, ControlCenter, LockState, UILocked, QueryUILocked, LockScreenDismiss, Passcode,
    Badge, Call, SiriVisible, SiriFramework,
    Settings, SettingsDirect, NotifySettings, RemoveSetting, State, StateDirect,
    Respring,
    Count
};
const char* soakEventName(SoakEventKind kind);

struct SoakEvent {
    SoakEventKind kind = SoakEventKind::Wait;
    // The scenario line; for a direct write, a comment describing it.
    std::string line;
    // A direct write: which file ("settings" or "state"), the key, the value.
    std::string directFile;
    std::string directKey;
    id directValue;
    // The event may change which apps have a bubble after the next boot.
    bool changesChoice = false;
    // The event writes a file.
    bool writes = false;
    // A settings change the settings pane announces at once: "notify
    // settings" runs right after it, as part of the same event.
    bool notifyAfter = false;
};

// What the generator may look at before choosing.
struct SoakView {
    double screenWidth = 375, screenHeight = 667;
    struct Bubble {
        double x, y;      // centre, in screen points
        bool hidden;
    };
    std::vector<Bubble> bubbles;
    std::vector<std::string> alertActions;   // empty: no alert on screen
    bool touchActive = false;
    double touchX = 0, touchY = 0;           // where the finger is
};

// The settings file's keys by type, as the plugin describes them, so that
// a setting added to its table is stormed too.
struct SoakSettingKeys {
    std::vector<std::string> flags, numbers, colours;
};
// Asks the plugin in deviceTemplate on a throwaway phone (only one phone
// lives at a time: call it before making the storm's). Empty lists when no
// plugin describes itself.
SoakSettingKeys describedSettingKeys(const std::string& deviceTemplate);

class SoakEventGenerator {
public:
    SoakEventGenerator(uint64_t seed, SoakSettingKeys keys);
    SoakEvent next(const SoakView& view);

private:
    uint64_t below(uint64_t n) { return n ? rng_() % n : 0; }
    bool chance(unsigned percent) { return below(100) < percent; }
    double uniform(double lo, double hi);
    template <class T>
    const T& pick(const std::vector<T>& items) { return items[below(items.size())]; }
    // A key of one type; "someOtherKey" when the plugin has none of it. A
    // lone key (the size) takes no draw, so a seed gives the events it gave
    // when the keys were listed here.
    std::string pickKey(const std::vector<std::string>& keys) {
        if (keys.size() <= 1) return keys.empty() ? "someOtherKey" : keys[0];
        return pick(keys);
    }

    std::string point(const SoakView& view, bool nearBubble);
    std::string target(const SoakView& view);
    std::string number(double v, int decimals);
    std::string settingsValue(const std::string& key);
    std::string anyValue();
    std::string stateKeyValue(bool& changesChoice);
    id exoticValue(std::string& description);

    std::mt19937_64 rng_;
    SoakSettingKeys keys_;
};
