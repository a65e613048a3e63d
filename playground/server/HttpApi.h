// The playground's HTTP side: the page's files, its configuration, the
// stream of changes (server-sent events), and the one door for requests.
//
//   GET  /                the page (files of the web folder, nothing else)
//   GET  /api/config      screen, apps, settings keys with their types
//   GET  /api/state       everything now, as one JSON object
//   GET  /api/events      text/event-stream of the same, then of changes
//   GET  /api/recording   the recording's lines, JSON
//   GET  /api/recording.scenario   the same as a scenario file
//   POST /api/action      one typed request, JSON (see Phone::act)
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace playground {

class ConnectionWatch;
class FrameHub;
class Phone;

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8377;          // 0: any free port
    std::string webRoot;      // the page's folder
    size_t maxBody = 16 * 1024;
    int maxEventStreams = 8;  // open /api/events streams at once
    // The longest a client may take to send a request's headers and body
    // (and, on a kept-alive connection, to begin its next one after three
    // seconds of quiet); see ConnectionWatch.
    double requestSeconds = 10;
    std::function<double()> clock;   // for the deadlines; a steady clock by default
};

class HttpApi {
public:
    HttpApi(Phone& phone, FrameHub& hub, HttpOptions options);
    ~HttpApi();
    HttpApi(const HttpApi&) = delete;
    HttpApi& operator=(const HttpApi&) = delete;

    // Binds the socket. Answers the port, or -1 when it cannot.
    int bind();
    // Serves until stop(); blocks.
    bool listen();
    void stop();

private:
    void routes();
    // The checks every request passes on its headers alone.
    void guardDoor();
    // The configuration, the state and the recording.
    void readingRoutes();
    // The stream of changes, at most maxEventStreams at once.
    void eventRoute();
    bool hostAllowed(const std::string& hostHeader) const;

    Phone& phone_;
    FrameHub& hub_;
    HttpOptions options_;
    int port_ = -1;
    // Shared with the streams' releasers, which may run as the server ends.
    std::shared_ptr<std::atomic<int>> openStreams_ = std::make_shared<std::atomic<int>>(0);
    std::unique_ptr<ConnectionWatch> watch_;
    std::unique_ptr<httplib::Server> server_;
};

// Whether an address is the loopback, so the Host header of every request
// can be held to it (no page from elsewhere reaches the server through a
// name that resolves here).
bool isLoopbackHost(const std::string& host);

// "application/json", alone or with a charset: the one body the door takes.
bool isJsonContentType(const std::string& contentType);

// Whether a request's target names a NUL, encoded or not.
bool holdsNul(const std::string& target, const std::string& decodedPath);

} // namespace playground
