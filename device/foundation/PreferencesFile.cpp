#include "foundation/PreferencesFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "foundation/plist/KeyMerge.h"
#include "foundation/plist/LibplistBridge.h"

using namespace propertylist;

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
    int fd() const { return locked_ ? fd_.get() : -1; }

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

PreferencesFile::Stamp stampOf(const struct stat& st) {
    PreferencesFile::Stamp s;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<uint64_t>(st.st_size);
    s.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.present = true;
    return s;
}

PreferencesFile::Stamp stampOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return stampOf(st);
}

// The sidecar's record of the files the device's daemons left: a ring of
// the latest stamps, read and written whole with one call each, so that a
// writer killed at any moment leaves it as it was or as it was meant to be.
class Sidecar {
public:
    static constexpr size_t kStamps = 64;

    explicit Sidecar(int fd) : fd_(fd) {
        if (fd_ < 0) return;
        Block block{};
        if (::pread(fd_, &block, sizeof block, 0) == static_cast<ssize_t>(sizeof block) &&
            std::memcmp(block.magic, kMagic, sizeof block.magic) == 0)
            block_ = block;
    }
    bool holds(const PreferencesFile::Stamp& stamp) const {
        if (std::memcmp(block_.magic, kMagic, sizeof block_.magic) != 0) return false;
        for (const Record& r : block_.records)
            if (r.size == stamp.size && r.inode == stamp.inode && r.device == stamp.device &&
                r.modified == stamp.modified)
                return true;
        return false;
    }
    void note(const PreferencesFile::Stamp& stamp) {
        if (fd_ < 0) return;
        if (std::memcmp(block_.magic, kMagic, sizeof block_.magic) != 0) {
            block_ = Block{};
            std::memcpy(block_.magic, kMagic, sizeof block_.magic);
        }
        block_.records[block_.next % kStamps] = {stamp.device, stamp.inode, stamp.size, stamp.modified};
        block_.next = (block_.next + 1) % kStamps;
        // A failed note only makes another daemon take this write for an
        // edit behind its back: never worth failing the write for.
        [[maybe_unused]] ssize_t n = ::pwrite(fd_, &block_, sizeof block_, 0);
    }

private:
    static constexpr char kMagic[8] = {'F', 'T', 'P', 'R', 'E', 'F', 'S', '1'};
    struct Record {
        uint64_t device, inode, size;
        int64_t modified;
    };
    struct Block {
        char magic[8];
        uint64_t next;
        std::array<Record, kStamps> records;
    };
    int fd_;
    Block block_{};
};

} // namespace

void PreferencesFile::load(const Stamp& now) {
    std::vector<uint8_t> bytes;
    PropertyListFormat format = PropertyListFormat::Binary;
    PlistOwner tree;
    unreadable_ = false;
    tooLarge_ = false;
    switch (PropertyList::readFileBytes(hostPath_, bytes)) {
    case PropertyList::ReadResult::Missing:
        break;
    case PropertyList::ReadResult::Unreadable:
        // The size limit is this device's guard, not the phone's: the phone's
        // daemon would read such a file, so it is never taken as empty.
        tooLarge_ = now.present && now.size > PropertyListLimits::maxBytes;
        unreadable_ = true;
        break;
    case PropertyList::ReadResult::Ok:
        // An empty file holds nothing a rewrite could lose.
        if (bytes.empty()) break;
        tree = dictionaryTree(bytes, format);
        if (!tree) {
            unreadable_ = true;
            format = PropertyListFormat::Binary;
        }
        break;
    }
    if (!tree) tree.reset(plist_new_dict());
    // A key that stands twice (a damaged or hand-made list) is kept as
    // readers see it: its first place, its last value.
    else if (hasDuplicateKeys(tree.get())) tree = withoutDuplicateKeys(tree.get());
    tree_ = std::move(tree);
    format_ = format;
    stamp_ = now;
    loaded_ = true;
}

bool PreferencesFile::edited(int lockFd) {
    const Stamp now = stampOfPath(hostPath_);
    if (!loaded_) {
        load(now);
        return false;
    }
    if (now == stamp_) return false;
    if (now.present && Sidecar(lockFd).holds(now)) {
        load(now);
        return false;
    }
    return true;
}

PreferencesFile::Outcome PreferencesFile::write(const std::vector<std::pair<std::string, id>>& changes) {
    namespace fs = std::filesystem;
    Outcome outcome;
    if (hostPath_.empty()) return outcome;
    // A value with no property-list form fails before anything is created.
    std::vector<uint8_t> scratch;
    for (const auto& [key, value] : changes)
        if (value && !PropertyList::serialize(*value, PropertyListFormat::Binary, scratch)) return outcome;
    fs::path target(hostPath_);
    const std::string name = target.filename().string();
    const std::string dir = target.parent_path().string();
    if (name.empty() || dir.empty()) return outcome;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return outcome;

    ExclusiveLock lock(hostPath_ + ".lock");
    if (!lock.locked()) return outcome;
    removeOrphanedTemporaries(dir, name);
    const bool edit = edited(lock.fd());
    if (tooLarge_) return outcome;

    // What the changed keys held, to put back if the write fails.
    std::vector<std::pair<std::string, PlistOwner>> before;
    bool anything = false;
    for (const auto& [key, value] : changes) {
        bool seen = false;
        for (const auto& b : before) seen = seen || b.first == key;
        if (seen) continue;
        plist_t node = plist_dict_get_item(tree_.get(), key.c_str());
        anything = anything || node || value;
        before.emplace_back(key, PlistOwner(node ? plist_copy(node) : nullptr));
    }
    auto undo = [&] {
        for (auto& [key, node] : before) {
            if (node) plist_dict_set_item(tree_.get(), key.c_str(), static_cast<plist_t>(node.release()));
            else plist_dict_remove_item(tree_.get(), key.c_str());
        }
    };
    // Removals of keys the copy does not hold change nothing to write.
    if (!anything) {
        outcome.ok = true;
        return outcome;
    }
    std::vector<std::pair<std::string, const NSObject*>> plain;
    plain.reserve(changes.size());
    for (const auto& [key, value] : changes) plain.emplace_back(key, value.get());
    std::vector<uint8_t> bytes;
    if (!setKeysInTree(tree_, plain, format_) || !writeTree(tree_.get(), format_, bytes)) {
        undo();
        return outcome;
    }

    std::string tempPath = dir + "/." + name + ".XXXXXX";
    FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!temp.valid()) {
        undo();
        return outcome;
    }
    TemporaryFile guard(tempPath);
    struct stat st {};
    mode_t mode = ::stat(hostPath_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    struct stat written {};
    if (::fchmod(temp.get(), mode) != 0 || !writeAll(temp.get(), bytes) || ::fsync(temp.get()) != 0 ||
        ::fstat(temp.get(), &written) != 0 || !temp.reset()) {
        undo();
        return outcome;
    }
    // The rename keeps the inode, the size and the modification time.
    const Stamp stamp = stampOf(written);
    Sidecar(lock.fd()).note(stamp);
    if (::rename(tempPath.c_str(), hostPath_.c_str()) != 0) {
        undo();
        return outcome;
    }
    guard.commit();
    // The new file is in place; a failed directory sync can only cost
    // durability across a power loss, which the answer cannot undo.
    syncDirectory(dir);
    stamp_ = stamp;
    outcome.ok = true;
    outcome.notice = unreadable_ ? PreferencesNotice::ReplacedUnreadable
                     : edit      ? PreferencesNotice::OverwroteEdit
                                 : PreferencesNotice::None;
    unreadable_ = false;
    return outcome;
}

id PreferencesFile::objectForKey(const std::string& key) {
    if (hostPath_.empty()) return nullptr;
    {
        // The lock only steadies the look at the file; without a folder
        // there is no file to look at, and nothing to lock.
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::path(hostPath_).parent_path(), ec)) {
            ExclusiveLock lock(hostPath_ + ".lock");
            edited(lock.fd());
        } else if (!loaded_) {
            load({});
        }
    }
    plist_t node = plist_dict_get_item(tree_.get(), key.c_str());
    if (!node) return nullptr;
    // The value as the device's own reader makes it: through a one-key list.
    PlistOwner one(plist_new_dict());
    plist_dict_set_item(one.get(), key.c_str(), plist_copy(node));
    std::vector<uint8_t> bytes;
    if (!writeTree(one.get(), PropertyListFormat::Binary, bytes)) return nullptr;
    auto dict = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(bytes));
    return dict ? dict->objectForKey(key) : nullptr;
}
