// Property lists from files: a file's bytes, and the list they hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/DevicePaths.h"
#include "foundation/PropertyList.h"

PropertyList::ReadResult PropertyList::readFileBytes(const std::string& hostPath, std::vector<uint8_t>& out) {
    out.clear();
    if (hostPath.empty()) return ReadResult::Unreadable;
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    // Only a regular file: a directory, a FIFO or a device is no list.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::Unreadable;
    if (static_cast<uint64_t>(st.st_size) > PropertyListLimits::maxBytes) return ReadResult::Unreadable;
    out.reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return ReadResult::Unreadable;
        }
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > PropertyListLimits::maxBytes) {
            out.clear();
            return ReadResult::Unreadable;
        }
        out.insert(out.end(), buf, buf + n);
    }
    return ReadResult::Ok;
}

id PropertyList::readFile(const std::string& hostPath, PropertyListFormat* format) {
    std::vector<uint8_t> bytes;
    if (readFileBytes(hostPath, bytes) != ReadResult::Ok) return nullptr;
    return parse(bytes, format);
}

// The file as it is on disk: a preferences write still with the daemon is
// not in it yet. A reader that needs the store's pending writes waits for
// them first (NSUserDefaults' own reads do).
std::shared_ptr<NSMutableDictionary> dictionaryWithContentsOfFile(const std::string& devicePath) {
    std::string hostPath = DevicePaths::map(devicePath);
    if (hostPath.empty()) return nullptr;
    return std::dynamic_pointer_cast<NSMutableDictionary>(PropertyList::readFile(hostPath));
}
