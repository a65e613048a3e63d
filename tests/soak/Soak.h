// The event storm: one simulated phone with FloatTiles loaded, driven by a
// seeded stream of events (SoakEvents.h), with the invariants checked after
// every event:
//
//   the home-screen process is alive: booted, the plugin still loaded;
//   at most one idle timer (valid timers whose selector is "timeOut:");
//   the plugin's bubble list is the one it built at boot, and across a
//   respring it is the same again unless the choice of apps changed;
//   no window but the overlay's two is on screen while no alert is shown
//   (a forgotten menu window would swallow every touch);
//   after every write, both files read as dictionaries.
//
// Every so many events a full check adds: the whole dump (as JSON), its
// file status, its timers and bubbles, and a touch at a point with no
// bubble under it, which must reach the home screen beneath.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "soak/SoakEvents.h"

// Whether this is the sanitizer build: a replay must run in it too.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSoakSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSoakSanitized = true;
#else
inline constexpr bool kSoakSanitized = false;
#endif
#else
inline constexpr bool kSoakSanitized = false;
#endif

struct SoakOptions {
    uint64_t seed = 1;
    uint64_t events = 100000;
    uint64_t fullCheckEvery = 2000;
    // Print every event from this step on (a failure also prints the last
    // few); -1: never.
    int64_t printFrom = -1;
    std::string deviceTemplate;
    // Self-test: break an invariant on purpose at step injectAt, to show
    // that the checks catch it: "window" (a window left on screen),
    // "timer" (a second idle timer), "file" (an unreadable state file),
    // "crash" (the process dies).
    std::string inject;
    uint64_t injectAt = 0;
};

struct SoakReport {
    bool passed = false;
    uint64_t steps = 0;
    std::string failure;
    std::array<uint64_t, static_cast<size_t>(SoakEventKind::Count)> counts{};
    std::map<std::string, uint64_t> menuPicks;
    uint64_t fullChecks = 0;
    uint64_t probes = 0;
    uint64_t alerts = 0;
    uint64_t pluginWrites = 0;
    uint64_t boots = 0;
    uint64_t stepsWithVisibleBubbles = 0;
    double seconds = 0;
};

// Runs the storm; progress and the failure go to out.
SoakReport runSoak(const SoakOptions& options, std::ostream& out);

// The step running now and the seed (for a crash report from a signal
// handler).
uint64_t soakCurrentStep();
uint64_t soakCurrentSeed();
