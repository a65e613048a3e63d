// The ways springboard-sim runs: scenario files, the interactive protocol
// on standard input, the built-in demo, and the plugin's description.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct RunOptions {
    std::string root;            // --root DIR: keep the device root there
    std::string deviceTemplate;  // copied into every device root
    std::string dumpOnFail;      // --dump-on-fail DIR: keep the dump and picture of each failing line there
};

// Runs each file on a fresh device. The trace goes to out, problems to err
// as "FILE:LINE: reason", and each also to out where it happened, as
// "[SECONDS] failed FILE:LINE: reason", so that a failure can be placed in
// the trace when the two streams are kept apart. Answers the number of
// lines that failed.
int runScenarioFiles(const std::vector<std::string>& files, const RunOptions& options, std::ostream& out,
                     std::ostream& err);

// Reads one command per line from in and answers each at once: the trace
// lines the command produced (and a dump or a snapshot asked for with "-"),
// then a line "ok" or "error: REASON".
void runInteractive(std::istream& in, const RunOptions& options, std::ostream& out);

// Runs a scenario given as text, relative paths starting in the current
// folder. Without a plugin, lines that need one are skipped with a note.
int runDemo(const std::string& scenario, const RunOptions& options, std::ostream& out, std::ostream& err);

// Loads the plugins on a fresh device (never options.root) and prints, as one JSON object, what
// the plugin says it is (its settings table, files and key prefixes; see
// docs/scenarios.md). Answers non-zero when no plugin offers one.
int runDescribe(const RunOptions& options, std::ostream& out, std::ostream& err);
