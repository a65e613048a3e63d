// What the simulator's parts may ask of its core: the trace, the clock, the
// device's life and what it shows. The core (sim/Simulator.h) is the one
// implementation; a part holds it as a plain reference, since the core owns
// every part.
#pragma once

#include <string>
#include <vector>

#include "interfaces/PluginInspection.h"
#include "sim/JsonPointer.h"
#include "uikit/Geometry.h"

class SimulatorWatcher;

class SimulatorCore {
public:
    // One trace line, stamped with the phone's time.
    virtual void emit(const std::string& event) = 0;
    // The end of the main run loop's turn, once an event has been handled:
    // what was left for it runs (an alert action's handler, say).
    virtual void endTurn() = 0;
    virtual bool booted() const = 0;
    // A scenario's path: $NAME expanded, relative to the base directory.
    virtual std::string resolvePath(const std::string& path) const = 0;
    // The scenario's clock: one advance, or frame by frame while watched.
    virtual void advanceClock(double seconds) = 0;
    virtual const std::vector<std::string>& trace() const = 0;
    virtual Json dump() = 0;
    virtual Json hostDump() const = 0;
    virtual std::string snapshotSvg() = 0;
    virtual std::vector<ExportedBubble> bubbles() const = 0;
    virtual CGSize screenSize() const = 0;
    virtual Json describePlugin() = 0;
    // nullptr while nobody watches.
    virtual SimulatorWatcher* watcher() const = 0;

protected:
    ~SimulatorCore() = default;
};
