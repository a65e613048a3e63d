// What each page is sent: everything once, then only what changed.
#include <gtest/gtest.h>

#include <thread>

#include "playground/server/FrameHub.h"

using namespace playground;
using Json = nlohmann::json;
using namespace std::chrono_literals;

namespace {

Json next(FrameHub& hub, FrameHub::Cursor& cursor) {
    auto text = hub.next(cursor, 0ms);
    return text ? Json::parse(*text) : Json(nullptr);
}

} // namespace

// Tests that a new page gets the picture, the dump, the facts and the
// trace, and afterwards only the parts that changed.
TEST(FrameHub, SendsEverythingOnceThenOnlyChanges) {
    FrameHub hub;
    hub.setSvg("<svg>\"quoted\"\n</svg>");
    hub.setDump(R"({"bubbles":[]})");
    hub.setMeta({{"time", 1.5}});
    hub.addTrace(FrameHub::TraceKind::Sim, "[0.000] host-impl SpringBoard applicationDidFinishLaunching:");
    hub.addTrace(FrameHub::TraceKind::Input, "boot");

    FrameHub::Cursor page;
    Json first = next(hub, page);
    EXPECT_EQ(first["svg"], "<svg>\"quoted\"\n</svg>");
    EXPECT_EQ(first["dump"], Json::parse(R"({"bubbles":[]})"));
    EXPECT_EQ(first["meta"]["time"], 1.5);
    ASSERT_EQ(first["trace"].size(), 2u);
    EXPECT_EQ(first["trace"][0]["kind"], "sim");
    EXPECT_EQ(first["trace"][1]["kind"], "input");
    EXPECT_LT(first["trace"][0]["seq"].get<int>(), first["trace"][1]["seq"].get<int>());

    // Nothing new: nothing to send.
    EXPECT_TRUE(next(hub, page).is_null());
    hub.setSvg("<svg>\"quoted\"\n</svg>");
    hub.setDump(R"({"bubbles":[]})");
    hub.setMeta({{"time", 1.5}});
    EXPECT_TRUE(next(hub, page).is_null());

    hub.setMeta({{"time", 1.6}});
    hub.addTrace(FrameHub::TraceKind::Note, "home screen started again");
    Json second = next(hub, page);
    EXPECT_FALSE(second.contains("svg"));
    EXPECT_FALSE(second.contains("dump"));
    EXPECT_EQ(second["meta"]["time"], 1.6);
    ASSERT_EQ(second["trace"].size(), 1u);
    EXPECT_EQ(second["trace"][0]["kind"], "note");

    hub.setDump(R"({"bubbles":[1]})");
    Json third = next(hub, page);
    EXPECT_EQ(third["dump"]["bubbles"][0], 1);
    EXPECT_TRUE(third["trace"].empty());

    // A second page starts from the beginning, whatever the first saw.
    FrameHub::Cursor late;
    Json all = next(hub, late);
    EXPECT_EQ(all["svg"], "<svg>\"quoted\"\n</svg>");
    EXPECT_EQ(all["trace"].size(), 3u);
    EXPECT_EQ(Json::parse(hub.full())["trace"].size(), 3u);
}

// Tests that the trace keeps its newest lines, and that a line that is not
// valid UTF-8 still makes valid JSON.
TEST(FrameHub, KeepsTheNewestTraceLines) {
    FrameHub hub(3);
    for (int i = 0; i < 5; ++i) hub.addTrace(FrameHub::TraceKind::Sim, "line " + std::to_string(i));
    hub.addTrace(FrameHub::TraceKind::Sim, std::string("bad \xff byte"));
    FrameHub::Cursor page;
    Json all = next(hub, page);
    ASSERT_EQ(all["trace"].size(), 3u);
    EXPECT_EQ(all["trace"][0]["text"], "line 3");
    EXPECT_EQ(all["trace"][2]["seq"], 6);
}

// Tests that a page waiting for a change is woken by a flush, and that
// stopping the hub ends every wait for good.
TEST(FrameHub, WaitsAreWokenByChangesAndEndedByStop) {
    FrameHub hub;
    FrameHub::Cursor page;
    std::optional<std::string> got;
    std::thread waiter([&] { got = hub.next(page, 60s); });
    hub.setMeta({{"time", 2}});
    hub.flush();
    waiter.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(Json::parse(*got)["meta"]["time"], 2);

    std::optional<std::string> after = std::string("unset");
    std::thread stopped([&] { after = hub.next(page, 60s); });
    hub.stop();
    stopped.join();
    EXPECT_FALSE(after);
    EXPECT_TRUE(hub.stopped());
    hub.setMeta({{"time", 3}});
    EXPECT_FALSE(hub.next(page, 60s));
}

// Tests that a page holding the picture before is sent only what changed
// in it, that the change rebuilds the new picture exactly, and that a page
// a picture behind, or a picture not in ASCII, gets the whole picture.
TEST(FrameHub, SendsWhatChangedInThePictureToAPageThatHasTheOneBefore) {
    const std::string head = "<svg><g class=\"a\"/>" + std::string(400, ' ') + "<g transform=\"translate(";
    const std::string tail = ")\"/>" + std::string(400, ' ') + "</svg>";
    FrameHub hub;
    hub.setSvg(head + "10 20" + tail);
    FrameHub::Cursor page, late;
    Json first = next(hub, page);
    ASSERT_TRUE(first.contains("svg"));
    next(hub, late);

    hub.setSvg(head + "11.5 20" + tail);
    Json second = next(hub, page);
    ASSERT_TRUE(second.contains("svgPatch")) << second.dump();
    EXPECT_FALSE(second.contains("svg"));
    std::string old = first["svg"];
    const Json& p = second["svgPatch"];
    std::string rebuilt = old.substr(0, p["at"]) + p["text"].get<std::string>() +
                          old.substr(p["at"].get<size_t>() + p["cut"].get<size_t>());
    EXPECT_EQ(rebuilt, head + "11.5 20" + tail);
    EXPECT_LT(p["text"].get<std::string>().size(), 8u);

    hub.setSvg(head + "12 20" + tail);
    Json behind = next(hub, late); // it never had 11.5
    EXPECT_EQ(behind["svg"], head + "12 20" + tail);
    EXPECT_EQ(Json::parse(hub.full())["svg"], head + "12 20" + tail);

    next(hub, page);
    hub.setSvg(head + "12 20 \xc3\xa9" + tail);
    EXPECT_TRUE(next(hub, page).contains("svg"));
}
