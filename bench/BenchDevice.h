// One simulated phone for the benchmarks: the plugin loaded as a real
// shared library into the simulated home screen, a chosen number of
// bubbles, and a state file of a chosen number of keys.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/Simulator.h"
#include "uikit/Geometry.h"

// Heap use of the whole program, counted by the bench's operator new.
struct AllocationCount {
    uint64_t calls = 0;
    uint64_t bytes = 0;
};
AllocationCount allocationsSoFar();

// The shape of one device: bubbles chosen in the state file, keys in all.
struct BenchShape {
    int bubbles;
    int keys;
};

// The state file for a shape, in the binary format the device writes,
// made once per shape in a folder removed at exit. Its keys, in order: one
// "FLTTILE-" (true) per bubble's app; a saved centre per bubble when there
// is room; a hide flag for the app kHiddenApp; then, up to the count,
// the leftovers of a long use: apps chosen once and dropped ("FLTTILE-"
// false), their saved centres and hide flags.
const std::string& stateFileFor(const BenchShape& shape);
// A settings file with every key, so that a reload does all its work.
const std::string& settingsFile();

inline constexpr const char* kFrontApp = "com.bench.front";      // an app with no hide flag
inline constexpr const char* kHiddenApp = "com.bench.hidden";    // an app whose hide flag is set
std::string chosenApp(int index);   // the app of bubble `index`
std::string otherApp(int index);    // installed apps without bubbles

class BenchDevice {
public:
    enum class Boot { Launched, Installed };
    // Installs the apps and the files; Launched also boots and launches.
    BenchDevice(const BenchShape& shape, Boot boot = Boot::Launched, int otherApps = 0);
    ~BenchDevice();

    Simulator& sim() { return *sim_; }
    // Runs a scenario line that must succeed.
    void run(const std::string& line);

    // A bubble's centre on the screen, clamped inside the glass.
    CGPoint bubblePoint(int index);
    int bubbleCount();

    // Host events, sent through the runtime as the host sends them.
    void front(const std::string& bundleOrHome);

private:
    std::unique_ptr<Simulator> sim_;
};

// Timing one event inside a manually timed benchmark loop, with the heap
// use inside the timed span added to the benchmark's counters.
class EventTimer {
public:
    explicit EventTimer(benchmark::State& state) : state_(state) {}
    ~EventTimer();
    void start();
    void stop();

private:
    benchmark::State& state_;
    std::chrono::steady_clock::time_point begin_;
    AllocationCount before_;
    double seconds_ = 0;
    uint64_t allocCalls_ = 0, allocBytes_ = 0, events_ = 0;
};

// Times the host finishing its launch (the plugin building its bubbles) on
// a device of the state's shape whose plugin has just been loaded.
void timeLaunches(benchmark::State& state);

// The shapes every event is measured at: 1, 10 and 100 bubbles with 10,
// 1,000 and 100,000 keys, leaving out 100 bubbles in 10 keys (each bubble
// takes a key of its own).
void eventShapes(benchmark::internal::Benchmark* b);
BenchShape shapeOf(const benchmark::State& state);
