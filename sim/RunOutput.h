// What a run writes out: `dump` (the JSON of the device, or the host's
// alone), `snapshot` (the picture, as SVG or PNG) and `echo` (a caption).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/CommandRow.h"

class DeviceSetUp;
class SimulatorCore;

class RunOutput {
public:
    using Output = std::function<void(const std::string&)>;
    // output: where printed lines go (none when empty); compactDump: `dump`
    // without a path prints on one line.
    RunOutput(SimulatorCore& core, const DeviceSetUp& setUp, Output output, bool compactDump)
        : core_(core), setUp_(setUp), output_(std::move(output)), compactDump_(compactDump) {}
    static const std::vector<CommandRow<RunOutput>>& rows();

private:
    std::string cmdDump(const CommandCall& c);
    std::string cmdSnapshot(const CommandCall& c);
    std::string cmdEcho(const CommandCall& c);
    void print(const std::string& line) const;

    SimulatorCore& core_;
    const DeviceSetUp& setUp_;
    Output output_;
    bool compactDump_;
};
