// What a person does in the playground, kept as a scenario that replays it.
//
// The recorder is fed every line the phone sends its home screen (the same
// lines, so the replay is the visit): the set-up of a start, the files'
// contents as they stood then, `boot`, and every action after it, with the
// clock steps between them joined into one `wait` each. Checks (`expect`)
// and comments (`echo`) are composed here from the dump and the person's
// choice, never taken as text from the page.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "playground/server/Commands.h"

namespace playground {

class Recorder {
public:
    struct Line {
        long long id;
        std::string text;
        long long waitTicks = -1;   // a `wait`: its length in tenths of a millisecond
    };

    // Arms a recording: it keeps lines from the next start of the home
    // screen on, so that every recording begins at a start.
    void begin();
    // Stops keeping lines; those kept stay, to be exported or replayed.
    void end();
    // Armed or keeping.
    bool recording() const { return state_ != State::Off; }
    // Keeping lines: a start has come since begin().
    bool keeping() const { return state_ == State::Keeping; }

    // A start of the home screen: an armed recording begins here, and one
    // already keeping begins again (the phone before it is gone).
    void started();
    // A line the home screen ran. `wait SECONDS` lines in a row become one.
    void sent(const std::string& line);
    // The files as a start found them (the dump's `fileStatus` and
    // `fileWords`), written as `settings` and `state` lines, a key each,
    // every value of every type as the simulator writes it.
    void files(const Json& status, const Json& words);

    // A line the server composed for the person (a check, a comment).
    void add(const std::string& line);
    bool remove(long long id);

    const std::vector<Line>& lines() const { return lines_; }
    // Bumped at every change, so a page can ask whether anything is new.
    long long revision() const { return revision_; }
    // The lines as a scenario file.
    std::string scenario() const;
    // The line of that file the first of lines() is on (after its header).
    static int firstLine();

private:
    enum class State { Off, Armed, Keeping };
    void push(std::string text, long long waitTicks = -1);

    State state_ = State::Off;
    std::vector<Line> lines_;
    long long nextId_ = 1;
    long long revision_ = 0;
};

// ---- the lines of a recording ----

// A `wait` line's length in tenths of a millisecond, the precision the
// phone's clock steps are sent with; nullopt for any other line.
std::optional<long long> waitTicks(const std::string& line);
std::string waitLine(long long ticks);

// A JSON pointer step: '~' and '/' escaped.
std::string pointerStep(const std::string& name);

// Checks of what the person points at, from a dump taken at that instant.
// A bubble: hidden or not, and when shown its centre, alpha and badge text.
std::vector<std::string> bubbleChecks(const Json& bubble);
// A window, by its place in the dump's list.
std::vector<std::string> windowChecks(size_t index, const Json& window);
// A key of a file: its value, or that it is not there.
std::vector<std::string> fileChecks(const std::string& file, const std::string& key, const Json& files);
// The host: the app in front and the lock.
std::vector<std::string> hostChecks(const Json& host);
// A trace line, with or without its time stamp, as an `expect trace`.
std::optional<std::string> traceCheck(const std::string& traceLine);
// A comment for the replay to print: one line, printable, at most 200
// characters.
std::optional<std::string> echoLine(const std::string& text);

} // namespace playground
