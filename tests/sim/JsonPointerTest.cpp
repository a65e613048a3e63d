#include <gtest/gtest.h>

#include "sim/JsonPointer.h"

namespace {

Json sample() {
    return Json::parse(R"({
        "bubbles": [
            {"bundle": "com.apple.siri", "alpha": 0.3, "center": [350, 115]},
            {"bundle": "com.example.mail", "alpha": 1}
        ],
        "files": {"state": {"a/b": 1, "t~x": 2, "": 3}},
        "n": null
    })");
}

// Tests the bundle step, plain indices and member names.
TEST(JsonPointer, BundleStepPicksTheElement) {
    Json d = sample();
    const Json* v = resolvePointer(d, "/bubbles/com.apple.siri/alpha");
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, 0.3);
    v = resolvePointer(d, "/bubbles/1/bundle");
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, "com.example.mail");
    v = resolvePointer(d, "/bubbles/com.example.mail");
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)["alpha"], 1);
    EXPECT_EQ(resolvePointer(d, ""), &d);
    v = resolvePointer(d, "/n");
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->is_null());
}

TEST(JsonPointer, EscapesAndEmptyKeys) {
    Json d = sample();
    ASSERT_TRUE(resolvePointer(d, "/files/state/a~1b"));
    EXPECT_EQ(*resolvePointer(d, "/files/state/a~1b"), 1);
    EXPECT_EQ(*resolvePointer(d, "/files/state/t~0x"), 2);
    EXPECT_EQ(*resolvePointer(d, "/files/state/"), 3);
    std::string error;
    EXPECT_FALSE(resolvePointer(d, "/files/state/t~2x", &error));
    EXPECT_FALSE(error.empty());
}

// Tests that every way of missing says where.
TEST(JsonPointer, MissingMembersAreReported) {
    Json d = sample();
    std::string error;
    EXPECT_FALSE(resolvePointer(d, "/bubbles/2", &error));
    EXPECT_NE(error.find("/bubbles/2"), std::string::npos);
    EXPECT_FALSE(resolvePointer(d, "/bubbles/com.nobody", &error));
    EXPECT_NE(error.find("com.nobody"), std::string::npos);
    EXPECT_FALSE(resolvePointer(d, "/bubbles/0/alpha/x", &error));
    EXPECT_FALSE(resolvePointer(d, "/nothing", &error));
    EXPECT_FALSE(resolvePointer(d, "bubbles", &error));
    EXPECT_FALSE(resolvePointer(d, "/bubbles/99999999999999999999", &error));
}

// Tests that * reaches every element, named by bundle, and says where an
// element lacks the member; a near miss names the nearest member.
TEST(JsonPointer, WildcardReachesEveryElement) {
    Json d = sample();
    auto all = resolvePointerAll(d, "/bubbles/*/alpha");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].path, "/bubbles/com.apple.siri/alpha");
    EXPECT_EQ(*all[0].value, 0.3);
    EXPECT_EQ(*all[1].value, 1);
    auto centres = resolvePointerAll(d, "/bubbles/*/center");
    ASSERT_EQ(centres.size(), 2u);
    EXPECT_TRUE(centres[0].value);
    EXPECT_FALSE(centres[1].value);
    EXPECT_NE(centres[1].missing.find("/bubbles/com.example.mail/center"), std::string::npos);
    EXPECT_EQ(resolvePointerAll(d, "/files/*").size(), 1u);
    EXPECT_EQ(resolvePointerAll(d, "/files/state/*").size(), 3u);
    EXPECT_TRUE(resolvePointerAll(Json::parse(R"({"bubbles": []})"), "/bubbles/*/alpha").empty());
    std::string error;
    EXPECT_FALSE(resolvePointer(d, "/bubbles/*/alpha", &error)) << "a wildcard is not one value";
    EXPECT_FALSE(resolvePointer(d, "/bubbles/0/centre", &error));
    EXPECT_NE(error.find("did you mean center?"), std::string::npos) << error;
    EXPECT_FALSE(resolvePointer(d, "/bubbles/com.apple.sirii", &error));
    EXPECT_NE(error.find("did you mean com.apple.siri?"), std::string::npos) << error;
}

TEST(JsonCompare, EqualityAcrossNumberKinds) {
    EXPECT_TRUE(compareJson(Json(60), "==", Json(60.0)));
    EXPECT_TRUE(compareJson(Json("5"), "!=", Json(5)));
    EXPECT_TRUE(compareJson(Json::parse("[1,2]"), "==", Json::parse("[1.0,2.0]")));
    EXPECT_FALSE(compareJson(Json(nullptr), "==", Json(false)));
}

TEST(JsonCompare, Ordering) {
    EXPECT_TRUE(compareJson(Json(1), "<", Json(1.5)));
    EXPECT_FALSE(compareJson(Json(1.5), "<", Json(1.5)));
    EXPECT_TRUE(compareJson(Json(1.5), "<=", Json(1.5)));
    EXPECT_TRUE(compareJson(Json(-1), ">", Json(-2)));
    EXPECT_TRUE(compareJson(Json(2), ">=", Json(2.0)));
    EXPECT_TRUE(compareJson(Json("abc"), "<", Json("abd")));
    std::string error;
    EXPECT_FALSE(compareJson(Json("5"), "<", Json(6), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(compareJson(Json(nullptr), ">", Json(0), &error));
    EXPECT_FALSE(compareJson(Json(1), "=~", Json(1), &error));
}

// Tests the tolerance of ~ at its edge, and arrays element by element.
TEST(JsonCompare, ApproximateWithinAThousandth) {
    EXPECT_TRUE(compareJson(Json(0.30000001192092896), "~", Json(0.3)));
    EXPECT_TRUE(compareJson(Json(1.001), "~", Json(1)));
    EXPECT_FALSE(compareJson(Json(1.0012), "~", Json(1)));
    EXPECT_TRUE(compareJson(Json::parse("[350.0004, 114.9996]"), "~", Json::parse("[350,115]")));
    EXPECT_FALSE(compareJson(Json::parse("[350, 115]"), "~", Json::parse("[350,115,0]")));
    EXPECT_FALSE(compareJson(Json::parse("[350, 116]"), "~", Json::parse("[350,115]")));
    EXPECT_TRUE(compareJson(Json::parse("[[1.0001],[2]]"), "~", Json::parse("[[1],[2]]")));
    EXPECT_TRUE(compareJson(Json::parse(R"({"a":1.0001,"b":"x"})"), "~", Json::parse(R"({"b":"x","a":1})")));
    EXPECT_TRUE(compareJson(Json("x"), "~", Json("x")));
    EXPECT_FALSE(compareJson(Json("1"), "~", Json(1)));
}

} // namespace
