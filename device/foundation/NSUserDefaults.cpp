// The preferences store's write path. One setObject:forKey: is one
// read-modify-write of the whole file under an exclusive lock:
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

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

bool mergeKey(const std::string& hostPath, const std::string& key, const id& value) {
    namespace fs = std::filesystem;
    if (hostPath.empty()) return false;
    // A value with no property-list form fails before anything is created.
    std::vector<uint8_t> scratch;
    if (value && !PropertyList::serialize(*value, PropertyListFormat::Binary, scratch)) return false;
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
        if (!value) return true; // nothing to remove
        break;
    case PropertyList::ReadResult::Unreadable:
        return false;
    case PropertyList::ReadResult::Ok:
        // An empty file holds nothing a rewrite could lose: it reads as an
        // empty dictionary.
        break;
    }
    std::vector<uint8_t> bytes;
    if (!PropertyList::setValueForKey(current, key, value.get(), bytes)) return false;

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

} // namespace

std::string NSUserDefaults::filePath() const {
    if (suite_.empty()) return {};
    if (suite_.front() == '/') return suite_;
    return "/var/mobile/Library/Preferences/" + suite_ + ".plist";
}

bool NSUserDefaults::setObjectForKey(const id& value, const std::string& key) {
    std::string devicePath = filePath();
    bool ok = !devicePath.empty() && mergeKey(DevicePaths::map(devicePath), key, value);
    if (auto observer = writeObserver) observer(devicePath, key, value, ok);
    return ok;
}

id NSUserDefaults::objectForKey(const std::string& key) const {
    std::string devicePath = filePath();
    if (devicePath.empty()) return nullptr;
    auto dict = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(DevicePaths::map(devicePath)));
    return dict ? dict->objectForKey(key) : nullptr;
}
