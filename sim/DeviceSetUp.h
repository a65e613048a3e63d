// Setting the device up: the screen, the apps, absent host classes and
// methods, the plugins, what every boot's host starts answering, and the
// device's files as the scenario writes them.
#pragma once

#include <string>
#include <vector>

#include "sim/CommandRow.h"
#include "sim/SettingsCheck.h"
#include "springboard/SpringBoardHost.h"

class DeviceRoot;
class SimulatorCore;

class DeviceSetUp {
public:
    DeviceSetUp(SimulatorCore& core, DeviceRoot& root);
    static const std::vector<CommandRow<DeviceSetUp>>& rows();

    // The device path of `settings` or `state`; empty, with error set, for
    // any other word.
    static std::string filePath(const std::string& which, std::string& error);

    DeviceConfiguration& configuration() { return configuration_; }
    const DeviceConfiguration& configuration() const { return configuration_; }
    HostState& initialState() { return initialState_; }
    double screenWidth() const { return screenWidth_; }
    double screenHeight() const { return screenHeight_; }
    double screenScale() const { return screenScale_; }
    // While the scenario writes a file itself: its writes are no effect of
    // the plugin and stay off the trace.
    bool writingItself() const { return ownWrites_ > 0; }
    // The plugins have loaded: the settings written before are checked.
    void booted() { settingsCheck_.booted(); }

private:
    std::string cmdScreen(const CommandCall& c);
    std::string cmdApp(const CommandCall& c);
    std::string cmdAbsent(const CommandCall& c);
    std::string cmdPlugin(const CommandCall& c);
    std::string cmdFileKeys(const CommandCall& c);
    std::string cmdRemove(const CommandCall& c);
    std::string cmdDelete(const CommandCall& c);
    std::string cmdPut(const CommandCall& c);

    SimulatorCore& core_;
    DeviceRoot& root_;
    SettingsCheck settingsCheck_;
    DeviceConfiguration configuration_;
    HostState initialState_; // what every boot's host starts answering
    double screenWidth_ = 375, screenHeight_ = 667, screenScale_ = 2;
    int ownWrites_ = 0;
};
