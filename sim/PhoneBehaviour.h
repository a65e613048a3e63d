// The phone around the home screen: what a person does to it (`unlock`,
// `lock`, `press home`, `open`, `close`) and, after `phone answers yes`,
// what it does of itself (an app launched comes to the front, an unlock
// request brings up the passcode view, a touch is preceded by the home
// screen's question whether the phone is locked, a tap on its own screen is
// answered, Siri outlasts a respring), with `phone starts locked`. Each is a
// run of host events in the phone's order, since the plugin's visibility
// rules depend on that order; each event is a step of its own, as if it
// were a line of the scenario.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "sim/CommandRow.h"
#include "springboard/SpringBoardHost.h"

class DeviceSetUp;
class SimulatorCore;

class PhoneBehaviour {
public:
    PhoneBehaviour(SimulatorCore& core, DeviceSetUp& setUp) : core_(core), setUp_(setUp) {}
    static const std::vector<CommandRow<PhoneBehaviour>>& rows();

    // The host's request hook: a request waits for the end of the command
    // that made it, while the phone answers.
    void requested(const HostRequest& request);
    // The home screen has finished launching.
    void launched();
    // The home screen is about to start again.
    void respringing();
    // The home screen died: what it asked goes unanswered.
    void forgetRequests() { requests_.clear(); }
    // Runs the answers to the requests queued since the last time, and to
    // those the answers raise, in order.
    void answerRequests();

    // The finger, as the phone follows it: a touch that no window took may
    // be a tap on the phone's own screen.
    void touchStarts();
    void touchWentThrough(double x, double y);
    void touchMoved(double x, double y);
    void touchEnded(double x, double y);
    void touchCancelled() { throughTouch_.reset(); }

private:
    std::string cmdPhone(const CommandCall& c);
    std::string cmdUnlock(const CommandCall& c);
    std::string cmdLock(const CommandCall& c);
    std::string cmdPress(const CommandCall& c);
    std::string cmdOpen(const CommandCall& c);
    std::string cmdClose(const CommandCall& c);

    bool answering() const;
    // One host event as a command of its own: it starts with the writes
    // before it and ends with its own in the files.
    void hostStep(const std::function<void()>& event);
    // A host event that changes what is on screen, then the home screen's
    // own question whether the phone is locked.
    void shownStep(const std::function<void()>& event);
    void askLocked();
    // After `phone starts locked`: the lock screen comes up at every start.
    void comeUpLocked();
    void answer(const HostRequest& request);
    // A tap that no window took, on the phone's own screen.
    void phoneTap(double x, double y);

    SimulatorCore& core_;
    DeviceSetUp& setUp_;
    // `phone answers yes`: the requests of the home screen are answered as
    // a phone does; they wait here for the end of the command that made them.
    bool answers_ = false;
    std::deque<HostRequest> requests_;
    bool startsLocked_ = false; // `phone starts locked`
    // After `phone answers yes`: a touch down that no window took, while it
    // may still be a tap on the phone's own screen.
    std::optional<CGPoint> throughTouch_;
    double throughSince_ = 0; // the run loop's clock at its down
};
