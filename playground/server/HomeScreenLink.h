// The line to the home-screen process: the child, every line sent to it
// (checked, shown in the trace, kept by the recorder) and the host as the
// home screen last told it. Lines sent together travel in one write and
// are answered in one read of the child's output, so a step that needs two
// lines waits for the home screen once, not twice.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "playground/server/Commands.h"
#include "playground/server/SimChild.h"

namespace playground {

class FrameHub;
class Recorder;

class HomeScreenLink {
public:
    // One line and whether the trace shows it as the playground's input.
    using Line = std::pair<std::string, bool>;

    HomeScreenLink(FrameHub& hub, Recorder& recorder) : hub_(&hub), recorder_(&recorder) {}

    // A new home-screen process on the device root (the old one ends).
    void start(const std::string& program, const std::string& root, int answerTimeoutMs);
    // Ends the process: as the device's home screen ends, its files stay.
    void stop() { child_.reset(); }
    bool running() const { return child_ != nullptr; }

    // Checks, sends and records one line. Throws ChildGone when the home
    // screen has gone.
    SimAnswer run(const std::string& line, bool echo = true);
    // The same for lines sent before the first is answered; their answers
    // in order.
    std::vector<SimAnswer> runTogether(const std::vector<Line>& lines);

    // How many lines that may change the phone (all but a dump or a
    // picture) have been sent.
    long long changes() const { return changes_; }

    // The host (the dump's "host" member) as it stands after every line
    // sent so far: read again from the home screen when a line has run
    // since it was last read.
    const Json& host();
    // The host as last read, without asking.
    const Json& lastHost() const { return host_; }
    // A new device: the host it had is forgotten.
    void forgetHost();

private:
    void check(const std::string& line) const;
    void take(const std::string& line, SimAnswer& answer);

    FrameHub* hub_;      // not owned
    Recorder* recorder_; // not owned
    std::unique_ptr<SimChild> child_;
    Json host_ = Json::object();
    bool hostCurrent_ = false;
    long long changes_ = 0;
};

} // namespace playground
