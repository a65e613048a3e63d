// What watches a run of the simulator: a film, frame by frame.
#pragma once

#include <string>

// Whoever films the run (sim/Film.h) watches it through this: every
// frame's time the clock reaches, every touch of the finger, the end of
// every command. While one watches, the clock goes from frame to frame,
// firing every timer at its own due time and ending where one advance
// would, so a filmed run is the same run.
class SimulatorWatcher {
public:
    enum class Finger { Down, Move, Up, Cancel };
    virtual ~SimulatorWatcher() = default;
    // Seconds of the phone's clock between two frames.
    virtual double frameInterval() const = 0;
    // Whether the picture has stood still long enough that its frames are
    // left out: the clock may then leap to the next timer while nothing
    // animates.
    virtual bool still() const = 0;
    virtual void clockTick() = 0;
    virtual void finger(Finger what, double x, double y) = 0;
    virtual void commandEnded() = 0;
    // An `echo` line's text: what the scenario says is happening.
    virtual void caption(const std::string&) {}
};
