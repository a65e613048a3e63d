#include <gtest/gtest.h>

#include "sim/Suggest.h"

namespace {

using Names = std::vector<std::string>;

// Tests how near a name must be to be offered: a swap of two neighbours is
// one slip, a word of n letters may be n/3 slips off (at least one), case
// does not count, and a part of a name of three letters or more leads to it.
TEST(Suggest, WhatCountsAsNear) {
    EXPECT_EQ(nearestNames("cetner", {"center", "centre", "left"}), (Names{"center", "centre"}));
    EXPECT_EQ(nearestNames("ISSTICKY", {"isSticky"}), (Names{"isSticky"}));
    // A letter too many or too few is one slip, as a wrong one is.
    EXPECT_EQ(nearestNames("loxck", {"lock"}), (Names{"lock"}));
    EXPECT_EQ(nearestNames("lck", {"lock"}), (Names{"lock"}));
    // Six letters: two slips are near, three are not.
    EXPECT_EQ(nearestNames("bubxxe", {"bubble"}), (Names{"bubble"}));
    EXPECT_EQ(nearestNames("buxxxe", {"bubble"}), Names{});
    // Two letters: one slip still counts.
    EXPECT_EQ(nearestNames("ab", {"ac", "xy"}), (Names{"ac"}));
    EXPECT_EQ(nearestNames("lock", {"lockstate", "unlockedness", "lo"}), (Names{"lockstate", "unlockedness"}));
    EXPECT_EQ(nearestNames("lockstatehere", {"lockstate"}), (Names{"lockstate"}));
    // Three letters are a part; two are too short to be one.
    EXPECT_EQ(nearestNames("ock", {"lockstate"}), (Names{"lockstate"}));
    EXPECT_EQ(nearestNames("lo", {"lockstate"}), Names{});
    EXPECT_EQ(nearestNames("", {"a"}), Names{});
    EXPECT_EQ(nearestNames(std::string(201, 'a'), {std::string(201, 'a')}), Names{});
}

// Tests that the nearest come first (an exact match, then by slips, then
// parts), each once, at most `limit` of them.
TEST(Suggest, NearestFirstAndCapped) {
    const Names candidates{"lockstate", "lock", "locks", "lack", "lock"};
    EXPECT_EQ(nearestNames("lock", candidates), (Names{"lock", "locks", "lack"}));
    EXPECT_EQ(nearestNames("lock", candidates, 10), (Names{"lock", "locks", "lack", "lockstate"}));
    EXPECT_EQ(nearestNames("lock", candidates, 1), (Names{"lock"}));
}

// Tests the words of the offer, as an error carries it.
TEST(Suggest, TheOfferAsWords) {
    EXPECT_EQ(didYouMean(Names{}), "");
    EXPECT_EQ(didYouMean(Names{"a"}), " (did you mean a?)");
    EXPECT_EQ(didYouMean(Names{"a", "b"}), " (did you mean a or b?)");
    EXPECT_EQ(didYouMean(Names{"a", "b", "c"}), " (did you mean a, b or c?)");
    EXPECT_EQ(didYouMean("lcok", {"lock", "zzzz"}), " (did you mean lock?)");
}

} // namespace
