#include "foundation/DevicePaths.h"

namespace {

// The device root belongs to the device, not to the home-screen process:
// it must survive a respring, so a plain static is the right home for it.
std::string& rootSlot() {
    static std::string root;
    return root;
}

} // namespace

void DevicePaths::setRoot(const std::string& hostDirectory) {
    std::string root = hostDirectory;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    rootSlot() = std::move(root);
}

const std::string& DevicePaths::root() { return rootSlot(); }

// Refused (mapped to ""): no root set yet, a relative path, a path with a
// NUL byte, and any ".." component. Without a root nothing maps, so a
// misconfigured host can never touch this machine's own /var.
std::string DevicePaths::map(const std::string& devicePath) {
    const std::string& root = rootSlot();
    if (root.empty() || devicePath.empty() || devicePath.front() != '/') return {};
    if (devicePath.find('\0') != std::string::npos) return {};
    size_t i = 0;
    while (i < devicePath.size()) {
        size_t next = devicePath.find('/', i);
        if (next == std::string::npos) next = devicePath.size();
        if (devicePath.compare(i, next - i, "..") == 0) return {};
        i = next + 1;
    }
    if (root == "/") return devicePath;
    return root + devicePath;
}
