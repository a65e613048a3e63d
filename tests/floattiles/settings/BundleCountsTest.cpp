#include "settings/BundleCounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

namespace {

// Tests counting up and down: a bundle is present while its count is above
// zero, a count never goes below zero, and a bundle that fell to zero
// comes back when it is added again.
TEST(BundleCounts, CountsUpAndDown) {
    BundleCounts counts;
    EXPECT_FALSE(counts.contains("com.a"));
    counts.add("com.a", +1);
    counts.add("com.a", +1);
    EXPECT_EQ(counts.count("com.a"), 2u);
    counts.add("com.a", -1);
    EXPECT_TRUE(counts.contains("com.a"));
    counts.add("com.a", -1);
    EXPECT_FALSE(counts.contains("com.a"));
    counts.add("com.a", -1);
    EXPECT_EQ(counts.count("com.a"), 0u) << "no count below zero";
    counts.add("com.a", +1);
    EXPECT_TRUE(counts.contains("com.a"));
    counts.add("com.never", -1);
    EXPECT_FALSE(counts.contains("com.never"));
    EXPECT_EQ(counts.size(), 1u);
    counts.add("", +1);
    EXPECT_TRUE(counts.contains("")) << "the empty text is a bundle like any other";
    EXPECT_FALSE(counts.contains("com.a ")) << "texts match whole";
    counts.clear();
    EXPECT_FALSE(counts.contains("com.a"));
    EXPECT_EQ(counts.size(), 0u);
}

// Tests a long run of random changes, through many growths of the table,
// against a plain map: every count, the number present and the list of
// present bundles agree (fallen-to-zero ones stay in the table, unlisted).
TEST(BundleCounts, AgreesWithAMapThroughGrowth) {
    BundleCounts counts;
    std::map<std::string, int> model;
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> bundle(0, 5000), change(0, 3);
    for (int i = 0; i < 40000; ++i) {
        std::string name = "com.example.app" + std::to_string(bundle(rng));
        int delta = change(rng) == 0 ? -1 : +1;
        counts.add(name, delta);
        int& m = model[name];
        m = std::max(0, m + delta);
    }
    std::vector<std::string> present;
    for (const auto& [name, count] : model) {
        ASSERT_EQ(counts.count(name), static_cast<uint32_t>(count)) << name;
        if (count > 0) present.push_back(name);
    }
    EXPECT_EQ(counts.size(), present.size());
    std::vector<std::string> listed = counts.bundles();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, present);
    EXPECT_FALSE(counts.contains("com.example.app5001"));
}

} // namespace
