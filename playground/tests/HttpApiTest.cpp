// The playground's HTTP door: what it serves, what it takes, and what it
// turns away.
#include <gtest/gtest.h>

#include <thread>

#include <httplib.h>

#include "playground/server/HttpApi.h"
#include "playground/server/Phone.h"
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
};

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
    EXPECT_EQ(c["settings"].size(), settingSpecs().size());
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

TEST(IsLoopbackHost, KnowsTheLoopbackNames) {
    EXPECT_TRUE(isLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(isLoopbackHost("localhost"));
    EXPECT_TRUE(isLoopbackHost("::1"));
    EXPECT_FALSE(isLoopbackHost("0.0.0.0"));
    EXPECT_FALSE(isLoopbackHost("192.168.1.2"));
}
