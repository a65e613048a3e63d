#include "sim/DeviceRoot.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <stdlib.h>

#include "foundation/DevicePaths.h"
#include "springboard/SpringBoardHost.h"

namespace fs = std::filesystem;

DeviceRoot::DeviceRoot(const std::string& folder, const std::string& deviceTemplate) {
    std::error_code ec;
    if (folder.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "springboard-sim-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) throw std::runtime_error("cannot make a temporary device root");
        path_ = buf.data();
        temporary_ = true;
    } else {
        fs::create_directories(folder, ec);
        path_ = fs::absolute(folder, ec).string();
    }
    if (!deviceTemplate.empty() && fs::is_directory(deviceTemplate, ec))
        fs::copy(deviceTemplate, path_, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    fs::create_directories(fs::path(path_) / "var/mobile/Library/Preferences", ec);
    DevicePaths::setRoot(path_);
}

DeviceRoot::~DeviceRoot() {
    if (!temporary_) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void DeviceRoot::removePlugins() const {
    std::error_code ec;
    fs::path dir = fs::path(path_) / std::string(kPluginDirectory).substr(1);
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
}

std::string DeviceRoot::installPlugin(const std::string& library) const {
    std::error_code ec;
    fs::path dir = fs::path(path_) / std::string(kPluginDirectory).substr(1);
    fs::path lib = library;
    if (!fs::is_regular_file(lib, ec)) return "no plugin at " + lib.string();
    fs::create_directories(dir, ec);
    fs::copy_file(lib, dir / lib.filename(), fs::copy_options::overwrite_existing, ec);
    if (ec) return "cannot copy " + lib.string() + ": " + ec.message();
    fs::path filter = lib;
    filter.replace_extension(".plist");
    fs::path target = dir / lib.filename();
    target.replace_extension(".plist");
    std::error_code exists;
    if (fs::is_regular_file(filter, exists)) {
        fs::copy_file(filter, target, fs::copy_options::overwrite_existing, ec);
    } else {
        // No filter beside it: one that names the home screen.
        std::ofstream out(target);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Filter</key><dict>"
               "<key>Bundles</key><array><string>"
            << kSpringBoardBundleIdentifier << "</string></array></dict></dict></plist>\n";
    }
    return ec ? "cannot copy " + filter.string() + ": " + ec.message() : "";
}
