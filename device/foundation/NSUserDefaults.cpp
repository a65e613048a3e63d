// The preferences store's write path. One write is one read-modify-write
// of the whole file under an exclusive lock (setting every key of a batch,
// when the daemon below writes several changes to one file at once):
//
//   lock "<file>.lock" (flock, exclusive; a sidecar so that the lock
//   survives the rename that replaces the file)
//   remove orphaned temporary files (below)
//   read the file: missing or empty -> a new, empty dictionary (binary);
//     present but not a dictionary list -> refuse, answer false: rewriting
//     it would destroy whatever it holds
//   set or remove the key (PropertyList::setValueForKey): the other keys
//     keep their values, exactly as stored, and their order
//   write "<dir>/.<file>.XXXXXX" in the file's own format, fsync it
//   rename it over the file, fsync the directory
//   unlock
//
// Any failure before the rename removes the temporary file and leaves the
// old file as it was. Readers need no lock: they see either the old file
// or the new one, never a part of either.
//
// A writer killed between making its temporary file and the rename leaves
// that file behind (hidden, so no reader ever opens it). Writers make
// temporary files only while they hold the lock, so whatever temporary of
// this file exists once the lock is ours belongs to a dead writer: each
// write removes them, and a killed writer costs at most one file, until
// the next write.
#include "foundation/NSUserDefaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/DevicePaths.h"
#include "foundation/PropertyList.h"

NSUserDefaults::WriteObserver NSUserDefaults::writeObserver;

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and answers whether close reported success.
    bool reset() {
        if (fd_ < 0) return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

// Holds an exclusive flock for its lifetime.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const std::string& lockPath)
        : fd_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (!fd_.valid()) return;
        int rc;
        do rc = ::flock(fd_.get(), LOCK_EX);
        while (rc != 0 && errno == EINTR);
        locked_ = rc == 0;
    }
    ~ExclusiveLock() {
        if (locked_) ::flock(fd_.get(), LOCK_UN);
    }
    bool locked() const { return locked_; }

private:
    FileDescriptor fd_;
    bool locked_ = false;
};

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!committed_) ::unlink(path_.c_str());
    }
    void commit() { committed_ = true; }

private:
    std::string path_;
    bool committed_ = false;
};

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The names mkostemp gives: ".<file>." and six letters or digits.
bool isTemporaryName(const char* entry, const std::string& prefix) {
    size_t length = std::strlen(entry);
    if (length != prefix.size() + 6 || prefix.compare(0, prefix.size(), entry, prefix.size()) != 0) return false;
    for (size_t i = prefix.size(); i < length; ++i)
        if (!std::isalnum(static_cast<unsigned char>(entry[i]))) return false;
    return true;
}

// Call only while holding the file's lock.
void removeOrphanedTemporaries(const std::string& dir, const std::string& name) {
    DIR* folder = ::opendir(dir.c_str());
    if (!folder) return;
    const std::string prefix = "." + name + ".";
    while (const dirent* entry = ::readdir(folder))
        if (isTemporaryName(entry->d_name, prefix)) ::unlinkat(::dirfd(folder), entry->d_name, 0);
    ::closedir(folder);
}

void syncDirectory(const std::string& dir) {
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

// Sets (or, for nil, removes) each key in turn in one rewrite of the file.
bool mergeKeys(const std::string& hostPath, const std::vector<std::pair<std::string, id>>& changes) {
    namespace fs = std::filesystem;
    if (hostPath.empty()) return false;
    // A value with no property-list form fails before anything is created.
    std::vector<uint8_t> scratch;
    bool removalsOnly = true;
    for (const auto& [key, value] : changes) {
        if (value && !PropertyList::serialize(*value, PropertyListFormat::Binary, scratch)) return false;
        if (value) removalsOnly = false;
    }
    fs::path target(hostPath);
    std::string name = target.filename().string();
    std::string dir = target.parent_path().string();
    if (name.empty() || dir.empty()) return false;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return false;

    ExclusiveLock lock(hostPath + ".lock");
    if (!lock.locked()) return false;
    removeOrphanedTemporaries(dir, name);

    std::vector<uint8_t> current;
    switch (PropertyList::readFileBytes(hostPath, current)) {
    case PropertyList::ReadResult::Missing:
        if (removalsOnly) return true; // nothing to remove
        break;
    case PropertyList::ReadResult::Unreadable:
        return false;
    case PropertyList::ReadResult::Ok:
        // An empty file holds nothing a rewrite could lose: it reads as an
        // empty dictionary.
        break;
    }
    std::vector<uint8_t> bytes;
    std::vector<std::pair<std::string, const NSObject*>> plain;
    plain.reserve(changes.size());
    for (const auto& [key, value] : changes) plain.emplace_back(key, value.get());
    if (!PropertyList::setValuesForKeys(current, plain, bytes)) return false;

    std::string tempPath = dir + "/." + name + ".XXXXXX";
    FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!temp.valid()) return false;
    TemporaryFile guard(tempPath);
    struct stat st {};
    mode_t mode = ::stat(hostPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (::fchmod(temp.get(), mode) != 0) return false;
    if (!writeAll(temp.get(), bytes)) return false;
    if (::fsync(temp.get()) != 0) return false;
    if (!temp.reset()) return false;
    if (::rename(tempPath.c_str(), hostPath.c_str()) != 0) return false;
    guard.commit();
    // The new file is in place; a failed directory sync can only cost
    // durability across a power loss, which the answer cannot undo.
    syncDirectory(dir);
    return true;
}

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

// A preferences file's device path and its path on this machine.
struct FilePaths {
    std::string devicePath;
    std::string hostPath;
};

// The paths of the file last handed to the daemon from this thread: the
// same file comes again and again (a saved position per bubble), and
// working its paths out each time was a good part of a hand-over.
std::shared_ptr<const FilePaths> sharedPaths(const std::string& devicePath) {
    thread_local std::shared_ptr<const FilePaths> last;
    thread_local std::string lastRoot;
    if (last && last->devicePath == devicePath && lastRoot == DevicePaths::root()) return last;
    last = std::make_shared<const FilePaths>(FilePaths{devicePath, DevicePaths::map(devicePath)});
    lastRoot = DevicePaths::root();
    return last;
}

// Guards the daemon's in-tray. Its holders only push one change or swap
// the whole tray, a few instructions, so a waiter spins instead of
// sleeping in the kernel: a kernel wait and wake cost more than the
// hand-over itself, and the home screen's thread hands over a change per
// bubble.
class TrayLock {
public:
    void lock() {
        for (unsigned spins = 0; flag_.test_and_set(std::memory_order_acquire); ++spins)
            if (spins >= 64) std::this_thread::yield();
    }
    void unlock() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

// The device's preferences daemon. On the phone, setObject:forKey: hands
// the change to a daemon in its own process and returns; the file is
// written there, off the caller's thread, several pending changes to one
// file in one rewrite. Here the daemon is a thread of its own, writing
// with mergeKeys. synchronize() waits until every change handed over has
// been written and then tells the write observer of each, in order, on
// the caller's thread.
//
// A hand-over only puts the change in the daemon's tray: it never wakes
// the daemon. Waking a sleeping thread costs the waker a system call and,
// when the thread's processor is idle, an interrupt to it, tens of
// microseconds on a virtual machine, more than a frame's share for a
// single menu action. The daemon collects the tray on its own every
// kCollectInterval, and at once for whoever waits for the writes
// (synchronize, or a reader of a preferences file), who is about to
// block anyway.
class PreferencesDaemon {
public:
    struct Change {
        std::shared_ptr<const FilePaths> paths;
        std::string key;
        id value;
    };

    static constexpr std::chrono::milliseconds kCollectInterval{20};

    static PreferencesDaemon& shared() {
        static PreferencesDaemon daemon;
        return daemon;
    }

    void submit(Change change) {
        std::call_once(started_, [this] { thread_ = std::thread([this] { run(); }); });
        std::lock_guard<TrayLock> tray(trayLock_);
        tray_.push_back(std::move(change));
    }

    // Waits until nothing is pending; answers what was written since the
    // last call, in order, with each outcome.
    std::vector<std::pair<Change, bool>> waitAndCollect() {
        std::unique_lock<std::mutex> lock(mutex_);
        waitUntilIdle(lock);
        return std::exchange(finished_, {});
    }

    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        waitUntilIdle(lock);
    }

    ~PreferencesDaemon() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            wake_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
    }

private:
    // Nothing in the tray and nothing being written.
    bool idle() {
        std::lock_guard<TrayLock> tray(trayLock_);
        return tray_.empty() && !busy_;
    }

    void waitUntilIdle(std::unique_lock<std::mutex>& lock) {
        if (idle()) return;
        woken_ = true;
        wake_.notify_one();
        idle_.wait(lock, [this] { return idle(); });
    }

    void run() {
        for (;;) {
            std::vector<Change> batch;
            {
                std::lock_guard<TrayLock> tray(trayLock_);
                batch.swap(tray_);
                busy_ = !batch.empty();
            }
            if (batch.empty()) {
                // Whoever waits for the tray to empty may go on; then
                // sleep until the next collection or a waiter's call.
                std::unique_lock<std::mutex> lock(mutex_);
                idle_.notify_all();
                wake_.wait_for(lock, kCollectInterval, [this] { return woken_ || stop_; });
                woken_ = false;
                if (stop_ && idle()) return; // stopping, and everything written
                continue;
            }
            std::vector<std::pair<Change, bool>> done = write(std::move(batch));
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& d : done) finished_.push_back(std::move(d));
            // Still busy until the tray is seen empty at the top of the
            // loop: a waiter must not go on between this batch and the
            // next.
        }
    }

    // One rewrite per file for all its changes, in the order they came.
    static std::vector<std::pair<Change, bool>> write(std::vector<Change> batch) {
        std::vector<bool> ok(batch.size(), false);
        std::vector<bool> taken(batch.size(), false);
        for (size_t i = 0; i < batch.size(); ++i) {
            if (taken[i]) continue;
            std::vector<size_t> members;
            std::vector<std::pair<std::string, id>> changes;
            for (size_t j = i; j < batch.size(); ++j) {
                if (taken[j] || batch[j].paths->hostPath != batch[i].paths->hostPath) continue;
                taken[j] = true;
                members.push_back(j);
                changes.emplace_back(batch[j].key, batch[j].value);
            }
            bool written = mergeKeys(batch[i].paths->hostPath, changes);
            // A batch that fails as a whole may fail for one change alone
            // (a key the file format cannot hold): each is then tried on
            // its own, so the others are not lost with it.
            if (!written && members.size() > 1) {
                for (size_t m : members) ok[m] = mergeKeys(batch[m].paths->hostPath, {{batch[m].key, batch[m].value}});
            } else {
                for (size_t m : members) ok[m] = written;
            }
        }
        std::vector<std::pair<Change, bool>> out;
        out.reserve(batch.size());
        for (size_t i = 0; i < batch.size(); ++i) out.emplace_back(std::move(batch[i]), ok[i]);
        return out;
    }

    std::mutex mutex_; // finished_, woken_, stop_; the waits
    std::condition_variable wake_, idle_;
    TrayLock trayLock_; // tray_, busy_
    std::vector<Change> tray_;
    bool busy_ = false;
    bool woken_ = false;
    bool stop_ = false;
    std::vector<std::pair<Change, bool>> finished_;
    std::once_flag started_;
    std::thread thread_;
};

std::atomic<bool> writesDeferred{false};

} // namespace

void NSUserDefaults::setWritesDeferred(bool deferred) {
    if (!deferred) synchronize();
    ::writesDeferred.store(deferred);
}

bool NSUserDefaults::writesDeferred() { return ::writesDeferred.load(); }

void NSUserDefaults::synchronize() {
    auto finished = PreferencesDaemon::shared().waitAndCollect();
    for (const auto& [change, ok] : finished)
        if (auto observer = writeObserver) observer(change.paths->devicePath, change.key, change.value, ok);
}

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
    bool ok = !devicePath.empty() && mergeKeys(DevicePaths::map(devicePath), {{key, value}});
    if (auto observer = writeObserver) observer(devicePath, key, value, ok);
    return ok;
}

id NSUserDefaults::objectForKey(const std::string& key) const {
    std::string devicePath = filePath();
    if (devicePath.empty()) return nullptr;
    waitForPendingWrites();
    auto dict = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(DevicePaths::map(devicePath)));
    return dict ? dict->objectForKey(key) : nullptr;
}
