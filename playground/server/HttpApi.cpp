#include "playground/server/HttpApi.h"

#include <chrono>
#include <string_view>

#include <httplib.h>

#include "playground/server/ConnectionWatch.h"
#include "playground/server/FilmDownload.h"
#include "playground/server/FrameHub.h"
#include "playground/server/Phone.h"

namespace playground {

namespace {

void sendJson(httplib::Response& res, const Json& body, int status = 200) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A refusal that also ends the connection: what the client meant to send
// after these headers is never read.
httplib::Server::HandlerResponse refuse(httplib::Response& res, int status, const char* why) {
    sendJson(res, {{"ok", false}, {"error", why}}, status);
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
}

// Workers that serve each connection under the watch's deadlines.
class WatchedPool : public httplib::ThreadPool {
public:
    WatchedPool(ConnectionWatch& watch, size_t workers) : httplib::ThreadPool(workers), watch_(watch) {}
    void enqueue(std::function<void()> serve) override { httplib::ThreadPool::enqueue(watch_.watch(std::move(serve))); }

private:
    ConnectionWatch& watch_;
};

} // namespace

bool isJsonContentType(const std::string& contentType) {
    std::string type = lower(contentType);
    std::string_view rest(type);
    size_t semicolon = rest.find(';');
    if (trimmed(rest.substr(0, semicolon)) != "application/json") return false;
    while (semicolon != std::string_view::npos) {
        rest.remove_prefix(semicolon + 1);
        semicolon = rest.find(';');
        std::string_view parameter = trimmed(rest.substr(0, semicolon));
        if (parameter.empty()) continue;
        if (parameter.rfind("charset=", 0) != 0 || parameter.size() == 8) return false;
    }
    return true;
}

bool holdsNul(const std::string& target, const std::string& decodedPath) {
    return decodedPath.find('\0') != std::string::npos || target.find('\0') != std::string::npos ||
           lower(target).find("%00") != std::string::npos;
}

namespace {

} // namespace

bool isLoopbackHost(const std::string& host) {
    return host == "127.0.0.1" || host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

HttpApi::HttpApi(Phone& phone, FrameHub& hub, HttpOptions options)
    : phone_(phone), hub_(hub), options_(std::move(options)),
      watch_(std::make_unique<ConnectionWatch>(ConnectionWatch::Options{options_.requestSeconds, 3, 0.25, options_.clock})),
      server_(std::make_unique<httplib::Server>()) {
    // Each page holds one connection open for its event stream, and a
    // browser keeps a few more alive: workers for every stream allowed and
    // as many again for requests, so no number of tabs starves the door;
    // and no client keeps a worker by sending slowly.
    server_->new_task_queue = [this] { return new WatchedPool(*watch_, options_.maxEventStreams + 16); };
    server_->set_payload_max_length(options_.maxBody);
    // A response goes out as its headers and then its body; without this
    // the body waits for the page's delayed acknowledgement of the headers,
    // 40 ms on Linux, at every request of a drag.
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_timeout(3);
    server_->set_read_timeout(10);
    server_->set_write_timeout(10);
    server_->set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
                                    "frame-ancestors 'none'"},
        {"Cache-Control", "no-store"},
    });
    routes();
}

HttpApi::~HttpApi() = default;

bool HttpApi::hostAllowed(const std::string& hostHeader) const {
    if (!isLoopbackHost(options_.host)) return true;
    const std::string host = lower(hostHeader);
    const std::string port = std::to_string(port_);
    for (std::string_view name : {"127.0.0.1", "localhost", "[::1]"}) {
        if (host.size() == name.size() + 1 + port.size() && host.starts_with(name) && host[name.size()] == ':' &&
            host.ends_with(port))
            return true;
    }
    return false;
}

void HttpApi::routes() {
    guardDoor();
    readingRoutes();
    eventRoute();

    server_->Post("/api/action", [this](const httplib::Request& req, httplib::Response& res) {
        ConnectionWatch::busy();
        Json request = Json::parse(req.body, nullptr, false);
        if (!request.is_object()) {
            sendJson(res, {{"ok", false}, {"error", "the request is not a JSON object"}}, 400);
            return;
        }
        Json result = phone_.act(request);
        sendJson(res, result, result.value("ok", false) ? 200 : 400);
    });

    // Answered: the connection may be kept for the next request, which
    // must come in time.
    server_->set_post_routing_handler([](const httplib::Request&, httplib::Response&) { ConnectionWatch::answered(); });

    if (!options_.webRoot.empty()) server_->set_mount_point("/", options_.webRoot);

    server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        const char* what = res.status == 404 ? "not found" : res.status == 413 ? "request too large" : "bad request";
        sendJson(res, {{"ok", false}, {"error", what}}, res.status);
    });
}

void HttpApi::guardDoor() {
    // Everything here is decided on the headers alone, before a byte of a
    // body is read.
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        ConnectionWatch::reading();
        if (!hostAllowed(req.get_header_value("Host"))) {
            sendJson(res, {{"ok", false}, {"error", "this server answers only to its loopback address"}}, 403);
            return httplib::Server::HandlerResponse::Handled;
        }
        // A NUL ends a file name where the file system reads it, so
        // "app.js%00.html" would be app.js under another name.
        if (holdsNul(req.target, req.path)) return refuse(res, 400, "bad request");
        if (req.method == "POST") {
            // A body's size must be known before it is read: a chunked
            // body would be read whole before its size could be held to
            // the limit.
            if (req.has_header("Transfer-Encoding"))
                return refuse(res, 411, "requests carry a Content-Length");
            if (req.get_header_value<uint64_t>("Content-Length") > options_.maxBody)
                return refuse(res, 413, "request too large");
            // JSON only: a form posted from another site cannot be JSON
            // without the browser asking first, and it is never answered.
            if (!isJsonContentType(req.get_header_value("Content-Type"))) {
                sendJson(res, {{"ok", false}, {"error", "requests are application/json"}}, 415);
                return httplib::Server::HandlerResponse::Handled;
            }
            std::string origin = req.get_header_value("Origin");
            if (!origin.empty() && lower(origin) != "http://" + lower(req.get_header_value("Host"))) {
                sendJson(res, {{"ok", false}, {"error", "requests come from the playground's own page"}}, 403);
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

void HttpApi::readingRoutes() {
    server_->Get("/api/config", [this](const httplib::Request&, httplib::Response& res) { sendJson(res, phone_.config()); });

    server_->Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(hub_.full(), "application/json");
    });

    // The recording: its lines as JSON, and as the scenario file to keep.
    server_->Get("/api/recording", [this](const httplib::Request&, httplib::Response& res) {
        sendJson(res, phone_.recording());
    });
    server_->Get("/api/recording.scenario", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Disposition", "attachment; filename=\"playground.scenario\"");
        res.set_content(phone_.recordedScenario(), "text/plain; charset=utf-8");
    });
    // Its film: springboard-sim runs it on a phone of its own and films it.
    server_->Get("/api/recording.webp", [this](const httplib::Request&, httplib::Response& res) {
        ConnectionWatch::busy();
        FilmAnswer film = filmScenario(phone_.simProgram(), phone_.recordedScenario());
        if (!film.error.empty()) {
            sendJson(res, {{"ok", false}, {"error", film.error}}, 500);
            return;
        }
        res.set_header("Content-Disposition", "attachment; filename=\"playground.webp\"");
        res.set_content(film.webp, "image/webp");
    });
}

void HttpApi::eventRoute() {
    server_->Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        // Each stream holds a worker for as long as its page is open: past
        // the cap a page is told to come back later, so the workers left
        // always answer requests.
        if (openStreams_->fetch_add(1) >= options_.maxEventStreams) {
            openStreams_->fetch_sub(1);
            res.set_header("Retry-After", "1");
            sendJson(res, {{"ok", false}, {"error", "too many open event streams"}}, 503);
            return;
        }
        ConnectionWatch::streaming();
        auto cursor = std::make_shared<FrameHub::Cursor>();
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor](size_t, httplib::DataSink& sink) {
                // The beat also finds a page that has gone, so that its
                // place is free for the next stream soon.
                auto delta = hub_.next(*cursor, std::chrono::seconds(2));
                if (hub_.stopped()) {
                    sink.done();
                    return true;
                }
                // A comment keeps an idle stream open and finds a page gone.
                std::string message = delta ? "data: " + *delta + "\n\n" : ": still here\n\n";
                return sink.write(message.data(), message.size());
            },
            [streams = openStreams_](bool) { streams->fetch_sub(1); });
    });
}

int HttpApi::bind() {
    port_ = options_.port == 0 ? server_->bind_to_any_port(options_.host)
                               : (server_->bind_to_port(options_.host, options_.port) ? options_.port : -1);
    watch_->setPort(port_);
    return port_;
}

bool HttpApi::listen() { return server_->listen_after_bind(); }

void HttpApi::stop() { server_->stop(); }

} // namespace playground
