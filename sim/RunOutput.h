// What a run writes out: `dump` (the JSON of the device, or the host's
// alone), `snapshot` (the picture, as SVG or PNG) and `echo` (a caption).
#pragma once

#include <vector>

#include "sim/CommandRow.h"

class SimulatorCore;

class RunOutput {
public:
    // compactDump: `dump` without a path prints on one line.
    RunOutput(SimulatorCore& core, bool compactDump) : core_(core), compactDump_(compactDump) {}
    static const std::vector<CommandRow<RunOutput>>& rows();

private:
    std::string cmdDump(const CommandCall& c);
    std::string cmdSnapshot(const CommandCall& c);
    std::string cmdEcho(const CommandCall& c);

    SimulatorCore& core_;
    bool compactDump_;
};
