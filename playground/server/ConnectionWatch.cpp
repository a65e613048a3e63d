#include "playground/server/ConnectionWatch.h"

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace playground {

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The connection the current worker serves.
struct Serving {
    ConnectionWatch* watch = nullptr;
    int fd = -1;
    std::string peer;
};
thread_local Serving serving;

// The other end of a connected socket, as bytes; empty when it is not one.
std::string peerOf(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    return std::string(reinterpret_cast<const char*>(&address), length);
}

int localPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return -1;
}

} // namespace

ConnectionWatch::ConnectionWatch(Options options) : options_(std::move(options)) {
    if (!options_.clock) options_.clock = steadySeconds;
    sweeper_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            stop_.wait_for(lock, std::chrono::duration<double>(options_.sweepSeconds));
            if (stopping_) break;
            lock.unlock();
            sweep();
            lock.lock();
        }
    });
}

ConnectionWatch::~ConnectionWatch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    sweeper_.join();
}

void ConnectionWatch::setPort(int port) {
    std::lock_guard lock(mutex_);
    port_ = port;
}

std::function<void()> ConnectionWatch::watch(std::function<void()> serve) {
    int found = -1;
    std::string peer;
    std::lock_guard lock(mutex_);
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            char* end = nullptr;
            long fd = std::strtol(e->d_name, &end, 10);
            if (end == e->d_name || *end != '\0' || fd == dirfd(dir)) continue;
            int type = 0;
            socklen_t size = sizeof type;
            if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) continue;
            if (localPort(static_cast<int>(fd)) != port_) continue;
            std::string p = peerOf(static_cast<int>(fd));
            if (p.empty()) continue;   // the listening socket
            auto it = entries_.find(static_cast<int>(fd));
            if (it != entries_.end() && it->second.peer == p) continue;
            found = static_cast<int>(fd);
            peer = std::move(p);
            break;
        }
        closedir(dir);
    }
    if (found < 0) return serve;   // not found: served as it is, unwatched
    entries_[found] = {peer, options_.clock() + options_.requestSeconds};
    return [this, found, peer, serve = std::move(serve)] {
        serving = {this, found, peer};
        serve();
        serving = {};
        std::lock_guard lock(mutex_);
        auto it = entries_.find(found);
        if (it != entries_.end() && it->second.peer == peer) entries_.erase(it);
    };
}

void ConnectionWatch::setDeadline(double seconds, bool stream) {
    ConnectionWatch* w = serving.watch;
    if (!w) return;
    std::lock_guard lock(w->mutex_);
    auto it = w->entries_.find(serving.fd);
    if (it == w->entries_.end() || it->second.peer != serving.peer || it->second.streaming) return;
    it->second.streaming = stream;
    it->second.deadline = std::isinf(seconds) ? seconds : w->options_.clock() + seconds;
}

void ConnectionWatch::reading() {
    if (serving.watch) setDeadline(serving.watch->options_.requestSeconds, false);
}

void ConnectionWatch::busy() { setDeadline(INFINITY, false); }

void ConnectionWatch::answered() {
    if (serving.watch)
        setDeadline(serving.watch->options_.keepAliveSeconds + serving.watch->options_.requestSeconds, false);
}

void ConnectionWatch::streaming() { setDeadline(INFINITY, true); }

void ConnectionWatch::sweep() {
    double now = options_.clock();
    std::lock_guard lock(mutex_);
    for (auto& [fd, entry] : entries_) {
        if (entry.shut || entry.deadline > now) continue;
        // Still the same connection (the number is only reused once the
        // worker has closed it, and then the entry is going).
        if (peerOf(fd) != entry.peer) continue;
        shutdown(fd, SHUT_RDWR);
        entry.shut = true;
    }
}

size_t ConnectionWatch::watched() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

} // namespace playground
