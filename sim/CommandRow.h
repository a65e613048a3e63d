// One row of the scenario language's command table, as the part of the
// simulator that handles the command writes it. The simulator's core puts
// every part's rows into the one ordered table (sim/Commands.cpp).
#pragma once

#include <string>
#include <vector>

struct Word;
using Words = std::vector<Word>;

// When a command may run.
enum class CommandPhase { Any, BeforeBoot, Booted };

// One line on its way to its command's handler.
struct CommandCall {
    const Words& words;
    const std::string& line; // as written, for a value that runs to its end
    std::string usage;       // what a line of the wrong shape answers
};

template <class Part>
struct CommandRow {
    const char* name;
    const char* usage; // the usage line; the name alone: no arguments
    CommandPhase phase;
    const char* bootedReason; // BeforeBoot: what it answers once booted
    std::string (Part::*handler)(const CommandCall&);
};
