// A fresh home-screen process with the simulated host installed and the
// plugin's code linked in directly, for tests of the plugin's internals.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "runtime/Process.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoardHost.h"
#include "springboard/Startup.h"

class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/floattiles-test-XXXXXX";
        root_ = mkdtemp(pattern);
        DevicePaths::setRoot(root_);
        // A new device: its preferences daemon has read none of its files.
        NSUserDefaults::forgetCopies();
        resetPluginState();
    }

    void TearDown() override {
        resetPluginState();
        Process::terminate();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    // Installs the host with apps (all with icons) before anything runs.
    void installHost(const std::vector<std::string>& bundles) {
        DeviceConfiguration config;
        for (const auto& b : bundles) config.apps.push_back(InstalledApp{b, true, nullptr, 1});
        SpringBoardHost::current().install(config, [this](const std::string& line) { trace_.push_back(line); });
    }

    void setBadge(const std::string& bundle, id value) {
        auto app = SpringBoardHost::current().applicationWithBundleIdentifier(bundle);
        msg(id(app), "setBadgeValue:", value);
    }

    std::string hostPath(const std::string& devicePath) const { return DevicePaths::map(devicePath); }

    // Runs python3 on a script and answers its standard output, or nothing
    // when python3 is not there.
    static std::optional<std::string> python(const std::string& script) {
        std::string command = "python3 -c '" + script + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return std::nullopt;
        std::string out;
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
        int status = pclose(pipe);
        if (status != 0) return std::nullopt;
        return out;
    }

    std::string root_;
    std::vector<std::string> trace_;
};
