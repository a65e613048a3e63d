#include "BenchDevice.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "foundation/Foundation.h"
#include "foundation/PropertyList.h"
#include "springboard/SpringBoardHost.h"
#include "uikit/UIView.h"

namespace fs = std::filesystem;

namespace {

// The folder for the generated files, removed when the program ends.
class FileFolder {
public:
    FileFolder() {
        std::string pattern = (fs::temp_directory_path() / "ft-bench-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) throw std::runtime_error("cannot make a folder for the bench's files");
        path_ = buf.data();
    }
    ~FileFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

FileFolder& folder() {
    static FileFolder f;
    return f;
}

void writeList(const NSObject& root, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!PropertyList::serialize(root, PropertyListFormat::Binary, bytes))
        throw std::runtime_error("cannot serialise " + path);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

id centre(double x, double y) {
    auto a = NSMutableArray::arrayWithCapacity(2);
    a->addObject(NSNumber::numberWithFloat(static_cast<float>(x)));
    a->addObject(NSNumber::numberWithFloat(static_cast<float>(y)));
    return a;
}

std::string leftoverApp(int index) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "com.bench.former%06d", index);
    return buf;
}

} // namespace

std::string chosenApp(int index) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "com.bench.app%03d", index);
    return buf;
}

std::string otherApp(int index) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "com.bench.other%03d", index);
    return buf;
}

const std::string& stateFileFor(const BenchShape& shape) {
    static std::map<std::pair<int, int>, std::string> made;
    auto key = std::make_pair(shape.bubbles, shape.keys);
    if (auto it = made.find(key); it != made.end()) return it->second;

    auto dict = NSMutableDictionary::dictionaryWithCapacity(static_cast<uint64_t>(shape.keys));
    auto room = [&] { return dict->count() < static_cast<uint64_t>(shape.keys); };
    for (int i = 0; i < shape.bubbles; ++i) dict->setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-" + chosenApp(i));
    // Saved centres on a grid of the 375 x 667 screen, so that the bubbles
    // lie apart as far as there is room.
    for (int i = 0; i < shape.bubbles && room(); ++i)
        dict->setObjectForKey(centre(40 + (i % 5) * 70, 60 + (i / 5 % 9) * 70), "POSAPPS-" + chosenApp(i));
    if (room()) dict->setObjectForKey(NSNumber::numberWithBool(true), std::string("HIDAPPS-") + kHiddenApp);
    for (int i = 0; room(); ++i) {
        std::string app = leftoverApp(i);
        dict->setObjectForKey(NSNumber::numberWithBool(false), "FLTTILE-" + app);
        if (room()) dict->setObjectForKey(centre(20 + i % 300, 30 + i % 600), "POSAPPS-" + app);
        if (room()) dict->setObjectForKey(NSNumber::numberWithBool(true), "HIDAPPS-" + app);
    }
    std::string path = folder().path() + "/state-" + std::to_string(shape.bubbles) + "-" +
                       std::to_string(shape.keys) + ".plist";
    writeList(*dict, path);
    return made.emplace(key, path).first->second;
}

const std::string& settingsFile() {
    static const std::string path = [] {
        auto dict = NSMutableDictionary::dictionaryWithCapacity(20);
        for (const char* k : {"isEnabled", "isCircle", "isDim", "isSticky", "isBadgeEnabled", "isHiddenInCC",
                              "isHiddenInLS"})
            dict->setObjectForKey(NSNumber::numberWithBool(true), k);
        for (const char* k : {"isAppsOnly", "isInAppOnly", "isLSOnly", "isLocked", "isAlwaysDim", "isSBOnly"})
            dict->setObjectForKey(NSNumber::numberWithBool(false), k);
        dict->setObjectForKey(NSNumber::numberWithDouble(50), "bubbleSize");
        dict->setObjectForKey(NSString::stringWithUTF8String("#ffffff"), "frameColor");
        dict->setObjectForKey(NSString::stringWithUTF8String("#ff3b30"), "badgeColor");
        dict->setObjectForKey(NSString::stringWithUTF8String("#fffefe"), "badgeTextColor");
        std::string p = folder().path() + "/settings.plist";
        writeList(*dict, p);
        return p;
    }();
    return path;
}

BenchDevice::BenchDevice(const BenchShape& shape, Boot boot, int otherApps) {
    Simulator::Options options;
    options.deviceTemplate = FT_DEVICE_TEMPLATE;
    options.keepTrace = false;
    sim_ = std::make_unique<Simulator>(options);
    // Every chosen app has a badge, so a badge refresh has digits to lay out.
    for (int i = 0; i < shape.bubbles; ++i) run("app " + chosenApp(i) + " badge=" + std::to_string(i % 20 + 1));
    run(std::string("app ") + kFrontApp);
    run(std::string("app ") + kHiddenApp);
    for (int i = 0; i < otherApps; ++i) run("app " + otherApp(i));
    run("put state " + stateFileFor(shape));
    run("put settings " + settingsFile());
    if (boot == Boot::Launched) {
        run("boot");
        // With the bubbles hidden on the lock screen, the first home screen
        // after a start is the lock screen's and hides them; the second
        // shows them.
        run("front home");
        run(std::string("front ") + kFrontApp);
        run("front home");
        // The start's fades are over before the first event.
        run("wait 0.5");
        if (bubbleCount() != shape.bubbles)
            throw std::runtime_error("expected " + std::to_string(shape.bubbles) + " bubbles, the plugin built " +
                                     std::to_string(bubbleCount()));
    }
}

BenchDevice::~BenchDevice() = default;

void BenchDevice::run(const std::string& line) {
    std::string error = sim_->execute(line);
    if (!error.empty()) throw std::runtime_error(line + ": " + error);
}

int BenchDevice::bubbleCount() { return static_cast<int>(sim_->bubbles().size()); }

CGPoint BenchDevice::bubblePoint(int index) {
    auto all = sim_->bubbles();
    if (index < 0 || static_cast<size_t>(index) >= all.size() || !all[index].view)
        throw std::runtime_error("no bubble " + std::to_string(index));
    const auto& view = all[index].view;
    CGPoint c = view->center();
    CGPoint s = view->superview() ? view->superview()->convertPointToScreen(c) : c;
    return CGPointMake(std::clamp(s.x, 1.0, 374.0), std::clamp(s.y, 1.0, 666.0));
}

void BenchDevice::front(const std::string& bundleOrHome) { run("front " + bundleOrHome); }

EventTimer::~EventTimer() {
    state_.counters["allocs/event"] =
        benchmark::Counter(events_ ? static_cast<double>(allocCalls_) / static_cast<double>(events_) : 0);
    state_.counters["bytes/event"] =
        benchmark::Counter(events_ ? static_cast<double>(allocBytes_) / static_cast<double>(events_) : 0);
}

void EventTimer::start() {
    before_ = allocationsSoFar();
    begin_ = std::chrono::steady_clock::now();
}

void EventTimer::stop() {
    auto end = std::chrono::steady_clock::now();
    AllocationCount after = allocationsSoFar();
    state_.SetIterationTime(std::chrono::duration<double>(end - begin_).count());
    allocCalls_ += after.calls - before_.calls;
    allocBytes_ += after.bytes - before_.bytes;
    ++events_;
}

void timeLaunches(benchmark::State& state) {
    EventTimer t(state);
    for (auto _ : state) {
        BenchDevice d(shapeOf(state), BenchDevice::Boot::Installed);
        d.run("boot load");
        t.start();
        SpringBoardHost::current().finishLaunching();
        t.stop();
    }
}

void eventShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"bubbles", "keys"});
    for (int bubbles : {1, 10, 100})
        for (int keys : {10, 1000, 100000})
            if (keys >= bubbles) b->Args({bubbles, keys});
}

BenchShape shapeOf(const benchmark::State& state) {
    return BenchShape{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}
