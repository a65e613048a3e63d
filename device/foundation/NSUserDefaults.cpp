// The preferences store's entry points. Every write goes to the device's
// preferences daemon (PreferencesDaemon), which keeps one copy of each file
// and writes the whole of it back (PreferencesFile): at once, before the
// write returns, or on the daemon's own thread while writes are deferred.
#include "foundation/NSUserDefaults.h"

#include <atomic>
#include <utility>
#include <vector>

#include "foundation/DevicePaths.h"
#include "foundation/PreferencesDaemon.h"
#include "foundation/PropertyList.h"

NSUserDefaults::WriteObserver NSUserDefaults::writeObserver;
NSUserDefaults::NoticeObserver NSUserDefaults::noticeObserver;

namespace {

// A value as it stands now, made independent of the caller: containers are
// copied (the caller may change a mutable one after handing it over), the
// immutable leaves are shared. nil for anything that is not a
// property-list value.
id snapshot(const NSObject* value, int depth) {
    if (!value || depth > PropertyListLimits::maxDepth) return nullptr;
    // Leaves first: they are most of what is written.
    if (dynamic_cast<const NSNumber*>(value) || dynamic_cast<const NSString*>(value))
        return std::const_pointer_cast<NSObject>(value->self());
    if (auto* array = dynamic_cast<const NSArray*>(value)) {
        auto copy = NSMutableArray::arrayWithCapacity(array->count());
        for (const auto& v : array->items()) {
            id item = snapshot(v.get(), depth + 1);
            if (!item) return nullptr;
            copy->addObject(item);
        }
        return copy;
    }
    if (auto* dict = dynamic_cast<const NSDictionary*>(value)) {
        auto copy = NSMutableDictionary::dictionaryWithCapacity(dict->count());
        for (const auto& [k, v] : dict->entries()) {
            id item = snapshot(v.get(), depth + 1);
            if (!item) return nullptr;
            copy->setObjectForKey(item, k);
        }
        return copy;
    }
    if (dynamic_cast<const NSData*>(value) || dynamic_cast<const NSDate*>(value))
        return std::const_pointer_cast<NSObject>(value->self());
    return nullptr;
}

// The paths of the file last handed to the daemon from this thread: the
// same file comes again and again (a saved position per bubble), and
// working its paths out each time was a good part of a hand-over.
std::shared_ptr<const PreferencesDaemon::FilePaths> sharedPaths(const std::string& devicePath) {
    thread_local std::shared_ptr<const PreferencesDaemon::FilePaths> last;
    thread_local std::string lastRoot;
    if (last && last->devicePath == devicePath && lastRoot == DevicePaths::root()) return last;
    last = std::make_shared<const PreferencesDaemon::FilePaths>(
        PreferencesDaemon::FilePaths{devicePath, DevicePaths::map(devicePath)});
    lastRoot = DevicePaths::root();
    return last;
}

std::atomic<bool> writesDeferred{false};

} // namespace

void NSUserDefaults::setWritesDeferred(bool deferred) {
    if (!deferred) synchronize();
    ::writesDeferred.store(deferred);
}

bool NSUserDefaults::writesDeferred() { return ::writesDeferred.load(); }

void NSUserDefaults::synchronize() {
    auto finished = PreferencesDaemon::shared().waitAndCollect();
    for (const auto& done : finished) {
        const std::string& devicePath = done.change.paths->devicePath;
        if (auto observer = noticeObserver; observer && done.notice != PreferencesNotice::None)
            observer(devicePath, done.notice);
        if (auto observer = writeObserver) observer(devicePath, done.change.key, done.change.value, done.ok);
    }
}

void NSUserDefaults::forgetCopies() { PreferencesDaemon::shared().forgetCopies(); }

void NSUserDefaults::waitForPendingWrites() {
    if (::writesDeferred.load()) PreferencesDaemon::shared().wait();
}

std::string NSUserDefaults::filePath() const {
    if (suite_.empty()) return {};
    if (suite_.front() == '/') return suite_;
    return "/var/mobile/Library/Preferences/" + suite_ + ".plist";
}

bool NSUserDefaults::setObjectForKey(const id& value, std::string key) {
    std::string devicePath = suite_.empty() || suite_.front() == '/' ? std::string() : filePath();
    const std::string& path = devicePath.empty() ? suite_ : devicePath;
    if (::writesDeferred.load() && !path.empty()) {
        id copy = value ? snapshot(value.get(), 1) : nullptr;
        auto paths = sharedPaths(path);
        if ((!value || copy) && !paths->hostPath.empty()) {
            PreferencesDaemon::shared().submit({std::move(paths), std::move(key), std::move(copy)});
            return true;
        }
    }
    if (devicePath.empty()) devicePath = filePath();
    const std::string hostPath = devicePath.empty() ? std::string() : DevicePaths::map(devicePath);
    PreferencesFile::Outcome written;
    if (!hostPath.empty()) written = PreferencesDaemon::shared().writeNow(hostPath, {{key, value}});
    if (auto observer = noticeObserver; observer && written.notice != PreferencesNotice::None)
        observer(devicePath, written.notice);
    if (auto observer = writeObserver) observer(devicePath, key, value, written.ok);
    return written.ok;
}

id NSUserDefaults::objectForKey(const std::string& key) const {
    std::string devicePath = filePath();
    if (devicePath.empty()) return nullptr;
    const std::string hostPath = DevicePaths::map(devicePath);
    return hostPath.empty() ? nullptr : PreferencesDaemon::shared().objectForKey(hostPath, key);
}
