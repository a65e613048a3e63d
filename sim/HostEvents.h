// The host's events a scenario sends one at a time (`notify`, `front`,
// `orientation`, `cc`, `lockstate`, `uilocked`, `query`, `lockscreen`,
// `passcode`, `badge`, `call`, `siri`). Before the boot, those that may run
// then set what the host starts answering.
#pragma once

#include <vector>

#include "sim/CommandRow.h"

class DeviceSetUp;
class SimulatorCore;

class HostEvents {
public:
    HostEvents(SimulatorCore& core, DeviceSetUp& setUp) : core_(core), setUp_(setUp) {}
    static const std::vector<CommandRow<HostEvents>>& rows();

private:
    std::string cmdNotify(const CommandCall& c);
    std::string cmdFront(const CommandCall& c);
    std::string cmdOrientation(const CommandCall& c);
    std::string cmdCC(const CommandCall& c);
    std::string cmdLockState(const CommandCall& c);
    std::string cmdUILocked(const CommandCall& c);
    std::string cmdQuery(const CommandCall& c);
    std::string cmdLockScreen(const CommandCall& c);
    std::string cmdPasscode(const CommandCall& c);
    std::string cmdBadge(const CommandCall& c);
    std::string cmdCall(const CommandCall& c);
    std::string cmdSiri(const CommandCall& c);

    SimulatorCore& core_;
    DeviceSetUp& setUp_;
};
