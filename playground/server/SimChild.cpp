#include "playground/server/SimChild.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace playground {

namespace {

constexpr size_t kMaxLine = size_t{64} << 20;

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Writes to a child that may have ended. Its closed pipe must not end this
// process: SIGPIPE is held back for the write, and one it raised is taken
// off before it is let through again.
bool writeAll(int fd, const std::string& text) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    size_t written = 0;
    bool ok = true;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            if (errno == EPIPE) {
                const timespec none{0, 0};
                sigtimedwait(&pipe, nullptr, &none);
            }
            break;
        }
        written += static_cast<size_t>(n);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

} // namespace

bool readAnswerLine(const std::string& line, SimAnswer& answer) {
    if (line == "ok") return true;
    if (startsWith(line, "error: ")) {
        answer.error = line.substr(7);
        return true;
    }
    if (startsWith(line, "<svg")) answer.svg = line;
    else if (startsWith(line, "{")) answer.dump = line;
    else answer.trace.push_back(line);
    return false;
}

void initChildSpawnAttributes(posix_spawnattr_t& attr) {
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

SimChild::SimChild(const std::string& program, const std::string& root, int answerTimeoutMs)
    : timeoutMs_(answerTimeoutMs) {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) throw ChildGone(std::string("pipe: ") + std::strerror(errno));
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        throw ChildGone(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawnattr_t attr;
    initChildSpawnAttributes(attr);
    std::vector<std::string> args = {program, "run", "--root", root, "-"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc != 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        pid_ = -1;
        throw ChildGone("cannot start " + program + ": " + std::strerror(rc));
    }
    in_ = toChild[1];
    out_ = fromChild[0];
}

SimChild::~SimChild() {
    closeFd(in_);
    if (pid_ > 0) {
        // The child ends when its input does; give it a moment to take
        // its process down (plugins unloaded, files flushed) before force.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            ::usleep(5000);
        }
        pid_ = -1;
    }
    closeFd(out_);
}

void SimChild::kill() {
    closeFd(in_);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    closeFd(out_);
}

bool SimChild::readLine(std::string& line) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    for (;;) {
        size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line.assign(buffer_, 0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        char chunk[65536];
        ssize_t got = ::read(out_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer_.append(chunk, static_cast<size_t>(got));
        // No answer line is this long: the child is not speaking the protocol.
        if (buffer_.size() > kMaxLine) return false;
    }
}

void SimChild::write(const std::string& text) {
    if (pid_ <= 0) throw ChildGone("the home screen is not running");
    if (!writeAll(in_, text)) {
        kill();
        throw ChildGone("the home screen stopped reading");
    }
}

SimAnswer SimChild::receive(const std::string& line) {
    SimAnswer answer;
    std::string reply;
    for (;;) {
        if (!readLine(reply)) {
            kill();
            throw ChildGone("the home screen did not answer " + line);
        }
        if (readAnswerLine(reply, answer)) return answer;
    }
}

SimAnswer SimChild::send(const std::string& line) {
    write(line + "\n");
    return receive(line);
}

std::vector<SimAnswer> SimChild::send(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    write(text);
    std::vector<SimAnswer> answers;
    for (const auto& line : lines) answers.push_back(receive(line));
    return answers;
}

} // namespace playground
