#include "foundation/NSBundle.h"

#include <sys/stat.h>

#include <map>

#include "foundation/DevicePaths.h"
#include "runtime/Process.h"

NSBundle::LoadObserver NSBundle::loadObserver;

namespace {

struct Bundles : ProcessComponent {
    std::map<std::string, std::shared_ptr<NSBundle>> byPath;
};

bool isDeviceDirectory(const std::string& devicePath) {
    std::string hostPath = DevicePaths::map(devicePath);
    struct stat st {};
    return !hostPath.empty() && ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::string& devicePath) {
    std::string path = devicePath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto& bundles = Process::current().get<Bundles>().byPath;
    if (auto it = bundles.find(path); it != bundles.end()) return it->second;
    if (!isDeviceDirectory(path)) return nullptr;
    auto bundle = std::make_shared<NSBundle>(path);
    bundles.emplace(path, bundle);
    return bundle;
}

bool NSBundle::load() {
    if (loaded_) return true;
    if (!isDeviceDirectory(path_)) return false;
    loaded_ = true;
    if (auto observer = loadObserver) observer(path_);
    return true;
}
