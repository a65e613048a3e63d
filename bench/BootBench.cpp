// What a start of the home screen costs the plugin: loading it (its module
// initialisers read the settings and the state file) and building the
// bubbles when the host finishes launching; beside it, libplist's bare
// parse of the same state file, the floor any reader of it stands on.
#include <plist/plist.h>

#include <cstdio>

#include "BenchDevice.h"
#include "foundation/PropertyList.h"
#include "springboard/SpringBoardHost.h"

namespace {

// The whole file in one read, as any reader of it must begin.
std::vector<char> readAll(const std::string& path) {
    std::vector<char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0) {
            bytes.resize(static_cast<size_t>(size));
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        }
    }
    std::fclose(f);
    return bytes;
}

// libplist's bare parse of the file: its bytes read and parsed into its
// tree (freeing the tree is left out of the time). Answers µs, or a
// negative number when libplist cannot read the file.
double bareParseMicros(const std::string& path) {
    auto a = std::chrono::steady_clock::now();
    std::vector<char> bytes = readAll(path);
    plist_t root = nullptr;
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    benchmark::DoNotOptimize(root);
    auto b = std::chrono::steady_clock::now();
    if (!root) return -1;
    plist_free(root);
    return std::chrono::duration<double, std::micro>(b - a).count();
}

// The whole start: the plugin loaded (settings and state read) and the
// bubbles built. The counters split it in two.
//
// The budget's two other terms are measured in the same iterations, right
// before each start: libplist's bare parse of the same file and the
// construction of the same bubbles from a file of their own keys. On a
// shared virtual machine the speed of the whole machine drifts by a third
// and more from one minute to the next, so a start and a parse timed in
// runs minutes apart can differ by that alone; side by side they see the
// same machine. "budget_ratio" is the time of the starts over their
// budgets (1.5 x parse + construction): at most 1 when the budget holds.
void BM_boot(benchmark::State& state) {
    const BenchShape shape = shapeOf(state);
    const BenchShape ownKeys{shape.bubbles, 2 * shape.bubbles + 1};
    EventTimer t(state);
    double load = 0, launch = 0, parse = 0, construction = 0, boot = 0;
    for (auto _ : state) {
        double parsed = bareParseMicros(stateFileFor(shape));
        if (parsed < 0) {
            state.SkipWithError("libplist could not read the file");
            break;
        }
        parse += parsed;
        {
            BenchDevice own(ownKeys, BenchDevice::Boot::Installed);
            own.run("boot load");
            auto a = std::chrono::steady_clock::now();
            SpringBoardHost::current().finishLaunching();
            construction += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count();
        }
        BenchDevice d(shape, BenchDevice::Boot::Installed);
        auto a = std::chrono::steady_clock::now();
        t.start();
        d.run("boot load");
        auto b = std::chrono::steady_clock::now();
        d.run("launch");
        t.stop();
        auto c = std::chrono::steady_clock::now();
        load += std::chrono::duration<double, std::micro>(b - a).count();
        launch += std::chrono::duration<double, std::micro>(c - b).count();
        boot += std::chrono::duration<double, std::micro>(c - a).count();
        if (d.bubbleCount() != shape.bubbles) state.SkipWithError("wrong number of bubbles");
    }
    double n = static_cast<double>(state.iterations());
    state.counters["load_us"] = load / n;
    state.counters["launch_us"] = launch / n;
    state.counters["parse_us"] = parse / n;
    state.counters["construction_us"] = construction / n;
    state.counters["budget_ratio"] = boot / (1.5 * parse + construction);
}

// Building the same bubbles from a state file that holds only their own
// keys: the part of a start that does not depend on the file's size.
void BM_construction(benchmark::State& state) { timeLaunches(state); }

// libplist alone: the file's bytes read and parsed into its tree (freeing
// the tree is left out of the time).
void BM_bareParse(benchmark::State& state) {
    const std::string& path = stateFileFor(shapeOf(state));
    EventTimer t(state);
    for (auto _ : state) {
        t.start();
        std::vector<char> bytes = readAll(path);
        plist_t root = nullptr;
        plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
        benchmark::DoNotOptimize(root);
        t.stop();
        if (!root) state.SkipWithError("libplist could not read the file");
        plist_free(root);
    }
    state.counters["file_bytes"] = static_cast<double>(readAll(path).size());
}

// The device's own reader of the same file, for comparison.
void BM_deviceRead(benchmark::State& state) {
    const std::string& path = stateFileFor(shapeOf(state));
    EventTimer t(state);
    for (auto _ : state) {
        t.start();
        id root = PropertyList::readFile(path);
        benchmark::DoNotOptimize(root);
        root.reset();
        t.stop();
    }
}

void bootShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bubbles", "keys"});
    for (int bubbles : {1, 10, 100})
        for (int keys : {10, 1000, 100000})
            if (keys >= bubbles) b->Args({bubbles, keys});
}

// Each bubble's own keys: its choice, its saved centre; and the hide flag.
void constructionShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bubbles", "keys"});
    for (int bubbles : {1, 10, 100}) b->Args({bubbles, 2 * bubbles + 1});
}

BENCHMARK(BM_boot)->Apply(bootShapes)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(10);
BENCHMARK(BM_construction)->Apply(constructionShapes)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(BM_bareParse)->Apply(bootShapes)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_deviceRead)->Apply(bootShapes)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
