// A recording run again on the phone at the pace it was recorded (or
// faster), paced by the wall clock so that the person watches it happen.
// Its lines are checked as any line is before they reach the home screen.
#pragma once

#include <deque>
#include <string>

namespace playground {

class FrameHub;
class HomeScreenLink;
class PhoneClock;

class Replay {
public:
    Replay(HomeScreenLink& link, PhoneClock& clock, FrameHub& hub) : link_(&link), clock_(&clock), hub_(&hub) {}

    bool running() const { return running_; }
    // The virtual seconds a replay runs in a second of the wall clock.
    void setSpeed(double speed) { speed_ = speed; }
    // Begins replaying `lines` on the home screen as it now is.
    void begin(std::deque<std::string> lines);
    // Runs the replay on by the wall-clock time that passed; false when
    // none is running.
    bool step();
    // Ends the replay, saying why in the trace.
    void end(const std::string& why);
    // A new home-screen process: the replay has nothing left to run on.
    void drop() { running_ = false; }

private:
    // Runs one recorded line that is not a wait.
    void runLine(const std::string& line);

    HomeScreenLink* link_; // not owned
    PhoneClock* clock_;    // not owned
    FrameHub* hub_;        // not owned
    // The lines still to run, and what is left of the wait it is in
    // (tenths of a millisecond).
    std::deque<std::string> lines_;
    long long wait_ = 0;
    bool running_ = false;
    bool fingerDown_ = false; // a replayed touch is down
    double speed_ = 1;
};

} // namespace playground
