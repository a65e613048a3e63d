// The device root: a folder standing for the phone's file system. Every
// absolute device path the plugin uses maps under it, so nothing is
// written outside it. A root made for one run is a temporary folder,
// removed at the end; one that was named is kept.
#pragma once

#include <string>

inline constexpr const char* kPluginDirectory = "/Library/MobileSubstrate/DynamicLibraries";

class DeviceRoot {
public:
    // folder empty: a fresh temporary folder. The device template, if
    // there is one, is copied in, and the device paths map under the root
    // from now on.
    DeviceRoot(const std::string& folder, const std::string& deviceTemplate);
    ~DeviceRoot();
    DeviceRoot(const DeviceRoot&) = delete;
    DeviceRoot& operator=(const DeviceRoot&) = delete;

    const std::string& path() const { return path_; }

    // Copies a library into the plugin folder with its filter plist beside
    // it (PATH.plist), or one naming the home screen if it has none.
    // Answers why it could not, or an empty string.
    std::string installPlugin(const std::string& library) const;
    // Empties the plugin folder: the host runs alone.
    void removePlugins() const;

private:
    std::string path_;
    bool temporary_ = false;
};
