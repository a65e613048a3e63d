// The home-screen process: `springboard-sim run --root DIR -` as a child,
// spoken to one line at a time. Each command's answer is the trace lines it
// produced, a dump or a picture if it asked for one, and a closing "ok" or
// "error: REASON".
#pragma once

#include <spawn.h>
#include <sys/types.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace playground {

// The child has ended, or stopped answering: it has to be started again.
struct ChildGone : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct SimAnswer {
    std::vector<std::string> trace;   // "[SECONDS] EVENT" lines, in order
    std::string svg;                  // the answer to `snapshot -`
    std::string dump;                 // the answer to `dump`, one line of JSON
    std::string error;                // empty when the command answered ok
    bool ok() const { return error.empty(); }
};

// Sorts one line of an answer into `answer`. Answers true on the closing
// line ("ok" or "error: ...").
bool readAnswerLine(const std::string& line, SimAnswer& answer);

// Spawn attributes for a springboard-sim child: it must not inherit the
// server's ignored SIGPIPE or its blocked signals, and Ctrl-C ends it as it
// ends the server. The caller destroys attr.
void initChildSpawnAttributes(posix_spawnattr_t& attr);

class SimChild {
public:
    // Starts `program run --root root -`. Throws ChildGone when it cannot.
    SimChild(const std::string& program, const std::string& root, int answerTimeoutMs = 30000);
    // Ends standard input, so the child ends its process as the device's
    // home screen ends (files stay), and waits for it; kills it if it hangs.
    ~SimChild();
    SimChild(const SimChild&) = delete;
    SimChild& operator=(const SimChild&) = delete;

    // Sends one line and reads its answer. Throws ChildGone if the child
    // has ended or did not answer in time; it is then killed.
    SimAnswer send(const std::string& line);
    // Sends the lines in one write, then reads their answers in order: the
    // child answers each as it would have alone, and the caller waits for
    // it once. The lines together stay far below a pipe's buffer, so the
    // write never waits for the child to read.
    std::vector<SimAnswer> send(const std::vector<std::string>& lines);

    pid_t pid() const { return pid_; }

private:
    bool readLine(std::string& line);
    void write(const std::string& text);
    SimAnswer receive(const std::string& line);
    void kill();

    pid_t pid_ = -1;
    int in_ = -1;    // the child's standard input
    int out_ = -1;   // its standard output
    int timeoutMs_;
    std::string buffer_;
};

} // namespace playground
