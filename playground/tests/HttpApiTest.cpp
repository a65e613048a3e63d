// The playground's HTTP door: what it serves, what it takes, and what it
// turns away.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <httplib.h>

#include "playground/server/HttpApi.h"
#include "playground/server/Phone.h"
#include "playground/server/PluginDescription.h"
#include "playground/tests/TestSupport.h"

using namespace playground;
using playground::testing::TempDir;

namespace {

class HttpApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Phone::Options o;
        o.simProgram = FT_SIM_PROGRAM;
        o.root = root.path();
        o.clock = [] { return 0.0; };
        phone = std::make_unique<Phone>(o, hub);
        phone->start();
        HttpOptions h;
        h.port = 0;
        h.clock = [this] { return now.load(); };
        h.webRoot = FT_PLAYGROUND_WEB;
        api = std::make_unique<HttpApi>(*phone, hub, h);
        port = api->bind();
        ASSERT_GT(port, 0);
        server = std::thread([this] { api->listen(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
    }
    void TearDown() override {
        hub.stop();
        api->stop();
        server.join();
    }

    httplib::Result post(const std::string& body, const std::string& type = "application/json",
                         httplib::Headers headers = {}) {
        return client->Post("/api/action", headers, body, type);
    }

    TempDir root;
    FrameHub hub;
    std::unique_ptr<Phone> phone;
    std::unique_ptr<HttpApi> api;
    std::thread server;
    int port = -1;
    std::unique_ptr<httplib::Client> client;
    std::atomic<double> now{0};   // the clock of the connections' deadlines
};

// A connection spoken to byte by byte, for what a well-behaved client
// library would never send. Every read gives up after 20 s, so a server
// that keeps a connection it should drop fails the test instead of hanging.
class RawConnection {
public:
    explicit RawConnection(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval patience{20, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() {
        // Reset rather than close: the server's next write to it fails.
        linger reset{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Reads until the text appears; what was read.
    std::string readUntil(const std::string& text) {
        while (received_.find(text) == std::string::npos && readSome() > 0) {}
        return received_;
    }
    // Waits for the next bytes, whatever they are.
    bool readNext() { return readSome() > 0; }
    // Whether the server closed the connection (as opposed to a time-out).
    bool closedByServer() {
        ssize_t n;
        while ((n = readSome()) > 0) {}
        return n == 0;
    }

private:
    ssize_t readSome() {
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) received_.append(buffer, static_cast<size_t>(n));
        return n;
    }

    int fd_;
    bool connected_ = false;
    std::string received_;
};

std::string postHeaders(int port, const std::string& extra) {
    return "POST /api/action HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: application/json\r\n" + extra + "\r\n";
}

} // namespace

TEST_F(HttpApiTest, ServesThePageAndNothingBesideIt) {
    auto page = client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("FloatTiles"), std::string::npos);
    EXPECT_EQ(page->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'self'"), std::string::npos);
    auto script = client->Get("/app.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->status, 200);

    for (const char* outside : {"/../CMakeLists.txt", "/%2e%2e/CMakeLists.txt", "/..%2fCMakeLists.txt", "/web/../../README.md"}) {
        auto r = client->Get(outside);
        ASSERT_TRUE(r) << outside;
        EXPECT_NE(r->status, 200) << outside;
    }
}

TEST_F(HttpApiTest, ConfigAndStateDescribeThePhone) {
    auto config = client->Get("/api/config");
    ASSERT_TRUE(config);
    Json c = Json::parse(config->body);
    EXPECT_EQ(c["settings"], describePlugin(FT_SIM_PROGRAM)["settings"]);
    EXPECT_EQ(c["files"], describePlugin(FT_SIM_PROGRAM)["files"]);
    EXPECT_EQ(c["apps"].size(), defaultApps().size());
    EXPECT_EQ(c["screen"]["width"], 375.0);

    auto state = client->Get("/api/state");
    ASSERT_TRUE(state);
    Json s = Json::parse(state->body);
    EXPECT_EQ(s["svg"].get<std::string>().rfind("<svg", 0), 0u);
    EXPECT_EQ(s["dump"]["bubbles"].size(), 4u);
    EXPECT_EQ(s["meta"]["generation"], 1);
}

// Tests that a request from the page reaches the phone and its answer
// comes back, refusals with a reason and a failing status.
TEST_F(HttpApiTest, ActionsReachThePhone) {
    auto r = post(R"({"type":"setting","key":"isSticky","value":true})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(Json::parse(r->body)["ok"], true);
    EXPECT_EQ(phone->lastDump()["files"]["settings"]["isSticky"], true);

    auto refused = post(R"({"type":"setting","key":"isSticky","value":"maybe"})");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_FALSE(Json::parse(refused->body)["error"].get<std::string>().empty());

    auto notJson = post("{type: setting");
    ASSERT_TRUE(notJson);
    EXPECT_EQ(notJson->status, 400);
    auto array = post("[1,2]");
    ASSERT_TRUE(array);
    EXPECT_EQ(array->status, 400);
}

// Tests what is turned away before it reaches the phone: other content
// types, bodies past the limit, other hosts and other sites' pages.
TEST_F(HttpApiTest, TurnsAwayWhatIsNotThePlaygroundsOwn) {
    const std::string request = R"({"type":"setting","key":"isSticky","value":true})";
    auto form = post(request, "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 415);

    auto huge = post("{\"type\":\"badge\",\"value\":\"" + std::string(64 * 1024, 'x') + "\"}");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->status, 413);

    auto rebound = client->Get("/api/config", {{"Host", "attacker.example:" + std::to_string(port)}});
    ASSERT_TRUE(rebound);
    EXPECT_EQ(rebound->status, 403);

    auto crossSite = post(request, "application/json", {{"Origin", "http://attacker.example"}});
    ASSERT_TRUE(crossSite);
    EXPECT_EQ(crossSite->status, 403);

    auto sameSite = post(request, "application/json", {{"Origin", "http://127.0.0.1:" + std::to_string(port)}});
    ASSERT_TRUE(sameSite);
    EXPECT_EQ(sameSite->status, 200);
    EXPECT_TRUE(phone->lastDump()["files"]["settings"].contains("isSticky"));
    EXPECT_EQ(phone->lastDump()["files"]["settings"].size(), 1u);
}

// Tests that the event stream opens with everything a page needs to draw.
TEST_F(HttpApiTest, TheEventStreamStartsWithTheWholePicture) {
    std::string received;
    auto r = client->Get("/api/events", [&](const char* data, size_t length) {
        received.append(data, length);
        return received.find("\n\n") == std::string::npos;
    });
    ASSERT_EQ(received.rfind("data: ", 0), 0u) << received.substr(0, 200);
    Json first = Json::parse(received.substr(6, received.find("\n\n") - 6));
    EXPECT_TRUE(first.contains("svg"));
    EXPECT_EQ(first["dump"]["bubbles"].size(), 4u);
    EXPECT_FALSE(first["trace"].empty());
}

// Tests that a body past the limit is refused from its headers, whatever its
// transfer encoding, and the connection dropped before the body is read.
TEST_F(HttpApiTest, RefusesLargeBodiesBeforeReadingThem) {
    RawConnection chunked(port);
    ASSERT_TRUE(chunked.connected());
    ASSERT_TRUE(chunked.send(postHeaders(port, "Transfer-Encoding: chunked\r\n")));
    ASSERT_TRUE(chunked.send("4000\r\n" + std::string(0x4000, ' ') + "\r\n"));
    EXPECT_EQ(chunked.readUntil("\r\n").rfind("HTTP/1.1 411", 0), 0u);
    EXPECT_TRUE(chunked.closedByServer());

    // 50 MB announced, none sent: the answer comes without waiting for it.
    RawConnection announced(port);
    ASSERT_TRUE(announced.send(postHeaders(port, "Content-Length: 52428800\r\n")));
    EXPECT_EQ(announced.readUntil("\r\n").rfind("HTTP/1.1 413", 0), 0u);
    EXPECT_TRUE(announced.closedByServer());

    // A small body with its length still goes through.
    auto fine = post(R"({"type":"setting","key":"isSticky","value":true})");
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->status, 200);
}

// Tests that only JSON is taken, with or without a charset, and nothing
// that merely begins like it.
TEST_F(HttpApiTest, TakesOnlyJson) {
    const std::string request = R"({"type":"setting","key":"isSticky","value":true})";
    for (const char* type : {"application/jsonp", "application/json-patch+json", "text/json", "application/json; x=1",
                             "application/json; charset="}) {
        auto r = post(request, type);
        ASSERT_TRUE(r) << type;
        EXPECT_EQ(r->status, 415) << type;
    }
    for (const char* type : {"application/json", "Application/JSON; charset=UTF-8", "application/json ;charset=utf-8"}) {
        auto r = post(request, type);
        ASSERT_TRUE(r) << type;
        EXPECT_EQ(r->status, 200) << type;
    }
}

// Tests that a path holding a NUL, encoded or not, serves nothing.
TEST_F(HttpApiTest, ServesNoPathHoldingANul) {
    for (const char* path : {"/app.js%00.html", "/app.js%00", "/%00app.js"}) {
        auto r = client->Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 400) << path;
        EXPECT_EQ(r->body.find("use strict"), std::string::npos) << path;
    }
    RawConnection raw(port);
    ASSERT_TRUE(raw.send(std::string("GET /app.js\0.html HTTP/1.1\r\nHost: 127.0.0.1:") + std::to_string(port) +
                         "\r\n\r\n"));
    EXPECT_EQ(raw.readUntil("\r\n").find(" 200 "), std::string::npos);
}

// Tests that event streams past the cap are turned away while requests are
// still answered, that a closed stream frees its place, and that a
// connection that says nothing is closed.
TEST_F(HttpApiTest, EventStreamsNeverStarveRequests) {
    const std::string get = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    std::vector<std::unique_ptr<RawConnection>> streams;
    for (int i = 0; i < HttpOptions{}.maxEventStreams; ++i) {
        streams.push_back(std::make_unique<RawConnection>(port));
        ASSERT_TRUE(streams.back()->send(get));
        EXPECT_NE(streams.back()->readUntil("data: ").find("data: "), std::string::npos) << "stream " << i;
    }
    RawConnection oneTooMany(port);
    ASSERT_TRUE(oneTooMany.send(get));
    EXPECT_EQ(oneTooMany.readUntil("\r\n").rfind("HTTP/1.1 503", 0), 0u);
    for (int i = 0; i < 20; ++i) {
        auto config = client->Get("/api/config");
        ASSERT_TRUE(config);
        EXPECT_EQ(config->status, 200);
    }

    // A page goes away; its stream ends at its next beat, and a new one
    // is taken. The other streams' beats mark the time.
    streams.pop_back();
    std::string again;
    for (int beat = 0; beat < 6 && again.rfind("data: ", 0) != 0; ++beat) {
        ASSERT_TRUE(streams.front()->readNext());
        again.clear();
        client->Get("/api/events", [&](const char* data, size_t length) {
            again.append(data, length);
            return again.find("\n\n") == std::string::npos;
        });
    }
    EXPECT_EQ(again.rfind("data: ", 0), 0u) << again.substr(0, 100);

    RawConnection silent(port);
    ASSERT_TRUE(silent.connected());
    EXPECT_TRUE(silent.closedByServer());
}

// Tests that a client sending its request a byte at a time is cut off when
// its time is up, while a connection whose request came in time is kept
// for its next one and an event stream has no deadline at all.
TEST_F(HttpApiTest, ASlowClientIsCutOffAndNoOneElse) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    // Accepted in this order, so each is watched before the next answers.
    RawConnection slow(port), stream(port), prompt(port);
    ASSERT_TRUE(slow.send("GET /api/config HTTP/1.1\r\nHo"));
    ASSERT_TRUE(stream.send("GET /api/events HTTP/1.1\r\n" + host + "\r\n"));
    stream.readUntil("data: ");
    ASSERT_TRUE(prompt.send("GET /api/config HTTP/1.1\r\n" + host + "\r\n"));
    prompt.readUntil("\"prefixes\"");

    now = now + 11;   // past a request's ten seconds, within a kept connection's thirteen
    EXPECT_TRUE(slow.closedByServer());
    ASSERT_TRUE(prompt.send("GET /api/state HTTP/1.1\r\n" + host + "\r\n"));
    EXPECT_NE(prompt.readUntil("\"svg\"").find("\"svg\""), std::string::npos);
    now = now + 1000;
    EXPECT_TRUE(stream.readNext());   // the next beat comes
    EXPECT_TRUE(stream.readNext());
}

TEST(HttpDoor, JsonAndNulRules) {
    EXPECT_TRUE(isJsonContentType("application/json"));
    EXPECT_FALSE(isJsonContentType(""));
    EXPECT_TRUE(holdsNul("/a%00b", "/a"));
    EXPECT_TRUE(holdsNul("/a%00b", std::string("/a\0b", 4)));
    EXPECT_FALSE(holdsNul("/a%20b", "/a b"));
}

TEST(IsLoopbackHost, KnowsTheLoopbackNames) {
    EXPECT_TRUE(isLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(isLoopbackHost("localhost"));
    EXPECT_TRUE(isLoopbackHost("::1"));
    EXPECT_FALSE(isLoopbackHost("0.0.0.0"));
    EXPECT_FALSE(isLoopbackHost("192.168.1.2"));
}

// Tests "Download film": the recording filmed by springboard-sim, and a
// reason instead of a film while nothing was recorded.
TEST_F(HttpApiTest, FilmsTheRecording) {
    auto none = client->Get("/api/recording.webp");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 500);
    EXPECT_NE(Json::parse(none->body)["error"].get<std::string>().find("nothing to film"), std::string::npos);

    ASSERT_EQ(post(R"({"type":"record","op":"start"})")->status, 200);
    ASSERT_EQ(post(R"({"type":"record","op":"stop"})")->status, 200);
    auto film = client->Get("/api/recording.webp");
    ASSERT_TRUE(film);
    ASSERT_EQ(film->status, 200);
    EXPECT_EQ(film->get_header_value("Content-Type"), "image/webp");
    ASSERT_GT(film->body.size(), 30u);
    EXPECT_EQ(film->body.substr(0, 4), "RIFF");
    EXPECT_EQ(film->body.substr(8, 4), "WEBP");
}
