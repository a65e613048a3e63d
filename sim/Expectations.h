// `expect`: what a scenario says must hold, of the dump, the trace, a
// file's bytes, a bubble's place on the glass, or the next command (that it
// crashes the home screen). The core tells it of every command, since the
// trace's windows and an expected crash are counted in commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/CommandRow.h"
#include "sim/JsonPointer.h"

class SimulatorCore;
class Touches;

class Expectations {
public:
    Expectations(SimulatorCore& core, Touches& touches) : core_(core), touches_(touches) {}
    static const std::vector<CommandRow<Expectations>>& rows();

    // Before each command, named as written.
    void commandStarts(const std::string& name);
    // After it: its answer, or, after a crash of the home screen (crash not
    // empty), what the scenario makes of it.
    std::string commandEnds(const std::string& name, std::string result, const std::string& crash);

private:
    std::string cmdExpect(const CommandCall& c);
    // Moves the trace's windows on for this expectation; an error when a
    // no-trace would look at nothing. since: where a no-trace looks from.
    std::string openWindow(bool noTrace, size_t& since);
    std::string expectTrace(const Words& w, size_t since);
    std::string expectValue(const CommandCall& c);
    std::string expectBytes(const Words& w);
    std::string expectOnScreen(const CommandCall& c);

    SimulatorCore& core_;
    Touches& touches_;            // where a finger reaches a bubble
    size_t traceMark_ = 0;        // after the line the last `expect trace` matched
    size_t expectMark_ = 0;       // the trace's length at the last expectation
    bool ranSinceExpect_ = false; // a command other than expect ran since the last one
    bool lastExpectWasNoTrace_ = false;
    size_t noTraceFrom_ = 0; // where the window of the current run of no-trace lines starts
    // `expect crash [TEXT]`: the next command must crash the home screen.
    std::optional<std::string> expectedCrash_;
    // The expected crash of the command running now.
    std::optional<std::string> armedCrash_;
};
