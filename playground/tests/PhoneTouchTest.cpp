// A touch's way from the page to the home screen: its order, its clock, a
// long press, a path of moves, a second page's finger.
#include <gtest/gtest.h>

#include <random>

#include "playground/tests/PhoneFixture.h"

using namespace playground;
using namespace playground::testing;

// Tests that holding still for half a second is a long press, and that the
// menu's lock is written back to the settings file.
TEST_F(PhoneTest, HoldingStillOpensTheMenu) {
    pass(1);
    Json c = bubble(kMessages)["center"];
    touch("down", c[0], c[1]);
    pass(0.3);
    EXPECT_TRUE(dump()["alert"].is_null());
    pass(0.3);
    ASSERT_TRUE(dump()["alert"].is_object());
    EXPECT_EQ(dump()["alert"]["title"], "Float Tiles");
    touch("up", c[0], c[1]);

    tapAlertButton("Lock Float Tiles");
    EXPECT_TRUE(dump()["alert"].is_null());
    EXPECT_EQ(dump()["files"]["settings"]["isLocked"], true);
    EXPECT_TRUE(traced("write settings isLocked=true"));

    // Locked in place: a drag moves nothing.
    touch("down", c[0], c[1]);
    touch("move", 100, 300);
    touch("up", 100, 300);
    EXPECT_EQ(bubble(kMessages)["center"], c);
}

// Tests that while a finger is down the phone's clock follows the page's
// time stamps: a request that arrives late is no long press, a finger the
// page says is held still is one, and a finger whose page went silent is
// let go.
TEST_F(PhoneTest, AFingersTimeIsThePagesTime) {
    auto timed = [&](const char* phase, double x, double y, double t) {
        ok({{"type", "touch"}, {"phase", phase}, {"x", x}, {"y", y}, {"t", t}});
    };
    pass(1);
    Json c = bubble(kMessages)["center"];
    double x = c[0], y = c[1];
    double start = meta()["time"];
    timed("down", x, y, 50000);
    // This process is slow: seconds pass here, none on the page.
    now += 3;
    phone->tick();
    EXPECT_NEAR(meta()["time"].get<double>(), start, 1e-3);
    timed("move", x - 60, y + 40, 50040);
    timed("up", x - 60, y + 40, 50080);
    EXPECT_TRUE(dump()["alert"].is_null()) << "a drag, not a long press";
    EXPECT_EQ(bubble(kMessages)["center"], Json::array({x - 60, y + 40}));
    EXPECT_NEAR(meta()["time"].get<double>(), start + 0.08, 1e-3);
    // The clock runs on its own again, from now.
    pass(0.5);
    EXPECT_NEAR(meta()["time"].get<double>(), start + 0.58, 1e-3);

    Json moved = bubble(kMessages)["center"];
    timed("down", moved[0], moved[1], 60000);
    // Beats are shown at the next step of the clock, which a finger holds.
    ok({{"type", "hold"}, {"t", 60300}});
    phone->tick();
    EXPECT_TRUE(dump()["alert"].is_null());
    ok({{"type", "hold"}, {"t", 60200}}); // out of order: ignored
    ok({{"type", "hold"}, {"t", 60550}});
    now += 5;
    phone->tick();
    ASSERT_TRUE(dump()["alert"].is_object()) << "held still for half a second of the page's time";
    timed("up", moved[0], moved[1], 60600);
    tapAlertButton("Cancel");
    EXPECT_TRUE(dump()["alert"].is_null());

    // A page that goes silent with a finger down: after a while the touch
    // is cancelled and the clock runs again.
    timed("down", 60, 600, 70000);
    double before = meta()["time"];
    now += 11;
    phone->tick();
    pass(1);
    EXPECT_TRUE(traced("touch cancel"));
    EXPECT_GT(meta()["time"].get<double>(), before + 0.9);
}

// Tests that a touch's actions apply in the page's order, however late and
// out of order they arrive (some twice, some after their touch ended):
// every drag, slower than a long press and beaten while it moves, moves its
// bubble and opens no menu, and every half-second hold opens the menu.
TEST_F(PhoneTest, TouchesKeepTheirKindWhateverTheirDelivery) {
    pass(1);
    std::mt19937 random(2026);
    double t = 100000;
    std::vector<Json> previous;
    for (int g = 0; g < 200; ++g) {
        bool drag = g % 2 == 0;
        Json c = bubble(kMail)["center"];
        double x = c[0], y = c[1], d = g % 4 == 0 ? -60 : 60;
        std::vector<Json> actions;
        auto add = [&](Json a) {
            a["touch"] = "g" + std::to_string(g);
            a["seq"] = actions.size();
            actions.push_back(a);
        };
        add({{"type", "touch"}, {"phase", "down"}, {"x", x}, {"y", y}, {"t", t}});
        for (int i = 1; i <= 20; ++i) {
            Json point = Json::array({x + d * i / 20, y + d * i / 60, t + 40 * i - 20});
            if (drag) add({{"type", "moves"}, {"points", Json::array({point})}});
            add({{"type", "hold"}, {"t", t + 40 * i}});
        }
        double endX = drag ? x + d : x, endY = drag ? y + d / 3 : y;
        add({{"type", "touch"}, {"phase", "up"}, {"x", endX}, {"y", endY}, {"t", t + 820}});
        std::vector<Json> delivery = actions;
        std::shuffle(delivery.begin(), delivery.end(), random);
        delivery.insert(delivery.begin() + random() % delivery.size(), actions[random() % actions.size()]);
        // Late: an action of the touch before, which has ended.
        if (!previous.empty())
            delivery.insert(delivery.begin() + random() % delivery.size(), previous[random() % previous.size()]);
        for (const auto& a : delivery) {
            ok(a);
            if (random() % 8 == 0) pass(0.1 * (random() % 10));
        }
        phone->tick();
        if (drag) {
            EXPECT_TRUE(dump()["alert"].is_null()) << "drag " << g;
            EXPECT_EQ(bubble(kMail)["center"], Json::array({endX, endY})) << "drag " << g;
        } else {
            EXPECT_TRUE(dump()["alert"].is_object()) << "hold " << g;
            tapAlertButton("Cancel");
        }
        if (HasFailure()) break;
        previous = actions;
        t += 1000;
    }
}

// Tests that the phone follows one finger: a second page's touch cancels
// the first page's in the phone, the facts name the new touch, and the
// first page's later moves are dropped; a cancel out of order (a page
// going away) ends its touch at once.
TEST_F(PhoneTest, ASecondPagesTouchEndsTheFirst) {
    unlock();
    pass(1);
    Json c = bubble(kMail)["center"];
    double x = c[0], y = c[1];
    auto action = [](const char* touch, int seq, Json a) {
        a["touch"] = touch;
        a["seq"] = seq;
        return a;
    };
    ok(action("a", 0, {{"type", "touch"}, {"phase", "down"}, {"x", x}, {"y", y}, {"t", 1000}}));
    ok(action("a", 1, {{"type", "moves"}, {"points", Json::array({Json::array({x - 30, y, 1020})})}}));
    ok(action("b", 0, {{"type", "touch"}, {"phase", "down"}, {"x", 200}, {"y", 600}, {"t", 5000}}));
    EXPECT_TRUE(traced("touch cancel"));
    Json late = act(action("a", 2, {{"type", "moves"}, {"points", Json::array({Json::array({x - 90, y, 1040})})}}));
    EXPECT_EQ(late["stale"], true);
    phone->tick();
    EXPECT_EQ(meta()["touch"]["id"], "b");
    EXPECT_EQ(bubble(kMail)["center"], Json::array({x - 30, y}));

    ok({{"type", "touch"}, {"phase", "cancel"}});
    phone->tick();
    EXPECT_EQ(meta()["touch"]["ended"], true);
    EXPECT_EQ(act(action("b", 1, {{"type", "hold"}, {"t", 5100}}))["stale"], true);
}

// Tests that a finger's path sent as many points at once drags a bubble
// all the way, however far the whole path goes, and that a path that does
// not fit is refused whole.
TEST_F(PhoneTest, APathOfMovesDragsABubbleAllTheWay) {
    Json c = bubble(kMail)["center"];
    double x = c[0], y = c[1];
    ok({{"type", "touch"}, {"phase", "down"}, {"x", x}, {"y", y}, {"t", 1000}});
    Json path = Json::array();
    for (int i = 1; i <= 40; ++i) path.push_back({x - 6.0 * i, y + 5.0 * i, 1000 + 4 * i});
    ok({{"type", "moves"}, {"points", path}});
    ok({{"type", "touch"}, {"phase", "up"}, {"x", x - 240}, {"y", y + 200}, {"t", 1200}});
    EXPECT_EQ(bubble(kMail)["center"], Json::array({x - 240, y + 200}));
    EXPECT_TRUE(dump()["alert"].is_null());

    for (const Json& bad : {Json::array(), Json::array({Json::array({1})}), Json::array({Json::array({1, "2"})}),
                            Json("1,2"), Json(Json::array({Json::array({1, 2}), 5}))}) {
        EXPECT_EQ(act({{"type", "moves"}, {"points", bad}})["ok"], false) << bad;
    }
    Json tooMany = Json::array();
    for (int i = 0; i < 1000; ++i) tooMany.push_back({1, 1});
    EXPECT_EQ(act({{"type", "moves"}, {"points", tooMany}})["ok"], false);
}
