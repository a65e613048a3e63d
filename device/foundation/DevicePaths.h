// The device's file system. Every absolute device path ("/var/mobile/...")
// is mapped under the device root that the host sets; nothing is read or
// written outside it. The root belongs to the device, not to the process,
// so it survives a respring.
#pragma once

#include <string>

class DevicePaths {
public:
    static void setRoot(const std::string& hostDirectory);
    static const std::string& root();
    // The path on this machine for a device path. A path that would climb
    // out of the root ("..") maps to an empty string, which no file
    // operation accepts.
    static std::string map(const std::string& devicePath);
};
