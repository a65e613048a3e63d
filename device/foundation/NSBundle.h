// Bundles: directories of the device that code can be loaded from. Here a
// bundle has no executable of its own; loading it tells the host, through
// the load observer, which may then install the classes the bundle
// provides (e.g. a private framework's). Whether a bundle is loaded is the
// process's state: after a respring every bundle is unloaded again.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "foundation/Foundation.h"

class NSBundle : public NSObject {
public:
    // The bundle at a device path, or nil unless that path is an existing
    // directory under the device root. Within one process the same path
    // (trailing slashes aside) answers the same object.
    static std::shared_ptr<NSBundle> bundleWithPath(const std::string& devicePath);

    std::string className() const override { return "NSBundle"; }
    std::string description() const override { return "NSBundle <" + path_ + ">"; }

    const std::string& bundlePath() const { return path_; }
    bool isLoaded() const { return loaded_; }
    // Loads the bundle once: marks it loaded, then tells the load observer.
    // Answers YES when the bundle is loaded (now or before), NO when its
    // directory is gone.
    bool load();

    // Told of each bundle as it becomes loaded, with its device path. The
    // host sets it once for the device's life, hence a plain static.
    using LoadObserver = std::function<void(const std::string& devicePath)>;
    static LoadObserver loadObserver;
    static void setLoadObserver(LoadObserver observer) { loadObserver = std::move(observer); }

    explicit NSBundle(std::string devicePath) : path_(std::move(devicePath)) {}

private:
    std::string path_;
    bool loaded_ = false;
};
