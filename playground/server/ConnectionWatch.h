// Deadlines for the playground's connections. cpp-httplib bounds each read
// of a socket, not a request, so a client that sends its headers a byte at
// a time holds one of the server's workers for as long as it likes, and a
// few such clients hold them all. The watch gives every connection a
// deadline for what it has to send next and shuts the socket down when it
// passes, which ends the worker's read at once:
//
//   - from the accept, a request's headers and body within `requestSeconds`;
//   - while a request is answered, none (a respring takes its time);
//   - after each response, the next request within `keepAliveSeconds` +
//     `requestSeconds`;
//   - an event stream, none: it is written, never read, and its writes
//     have their own timeout.
//
// The library does not tell its handlers which socket they serve; the
// watch finds a new connection as the listener hands it to a worker (the
// one accepted socket on the server's port not yet watched, told apart from
// an earlier one that had the same number by its peer's address) and keeps
// it in a per-thread note for the handlers.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace playground {

class ConnectionWatch {
public:
    struct Options {
        double requestSeconds = 10;
        double keepAliveSeconds = 3;
        double sweepSeconds = 0.25;          // how often deadlines are looked at
        std::function<double()> clock;       // seconds; a steady clock by default
    };

    explicit ConnectionWatch(Options options);
    ~ConnectionWatch();
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    // The port the server listens on: its accepted sockets have it as
    // their own.
    void setPort(int port);

    // On the listener's thread, right after an accept: watches the new
    // connection and answers the task that serves it, which forgets it
    // when it ends.
    std::function<void()> watch(std::function<void()> serve);

    // On the worker serving a connection, about that connection.
    static void reading();     // a request's headers are in; its body must follow in time
    static void busy();        // the request is read: no deadline while it is answered
    static void answered();    // the next request must come in time
    static void streaming();   // from now on the connection only carries a stream

    // Shuts down every connection past its deadline; the watch's own
    // thread calls it every sweepSeconds.
    void sweep();
    size_t watched() const;

private:
    struct Entry {
        std::string peer;
        double deadline;   // infinity: none
        bool streaming = false;
        bool shut = false;
    };
    static void setDeadline(double seconds, bool stream);

    Options options_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::map<int, Entry> entries_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread sweeper_;
};

} // namespace playground
