#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/HomeScreenLayout.h"

namespace {

std::vector<std::string> apps(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back("com.example.app" + std::to_string(i));
    return out;
}

// Tests that a point on an icon or on the name under it finds that app, and
// one in the gap beside it or below its name finds none.
TEST(HomeScreenLayoutTest, FindsTheIconUnderAPoint) {
    const HomeScreenLayout layout(375, 667, apps(3));
    ASSERT_EQ(layout.places().size(), 3u);
    const HomeIconPlace second = layout.places()[1];
    const double size = HomeScreenLayout::kIconSize;
    EXPECT_EQ(layout.iconAt(second.x + size / 2, second.y + size / 2), second.bundle);
    EXPECT_EQ(layout.iconAt(second.x, second.y + size + HomeScreenLayout::kLabelHeight - 0.5), second.bundle);
    EXPECT_EQ(layout.iconAt(second.x + size / 2, second.y), second.bundle);
    EXPECT_EQ(layout.iconAt(second.x + size / 2, second.y - 0.5), std::nullopt);
    EXPECT_EQ(layout.iconAt(second.x - 1, second.y + size / 2), std::nullopt);
    EXPECT_EQ(layout.iconAt(second.x + size / 2, second.y + size + HomeScreenLayout::kLabelHeight), std::nullopt);
    // The icons stand in a row, in the home screen's order, none on another.
    EXPECT_EQ(layout.places()[0].y, second.y);
    EXPECT_GE(second.x, layout.places()[0].x + size);
    // A full row is spread evenly across the screen: the margin at either
    // end is the gap between two icons.
    const HomeScreenLayout full(375, 667, apps(4));
    const auto& row = full.places();
    ASSERT_EQ(row.size(), 4u);
    const double gap = row[1].x - row[0].x - size;
    EXPECT_DOUBLE_EQ(row[0].x, gap);
    EXPECT_DOUBLE_EQ(375 - (row[3].x + size), gap);
    EXPECT_EQ(row[3].y, row[0].y);
    // A column takes 87 points, and 20 are left over at the edges: four fit
    // across 368 points, three across 367.
    EXPECT_EQ(HomeScreenLayout(368, 667, apps(4)).places()[3].y, row[0].y);
    EXPECT_GT(HomeScreenLayout(367, 667, apps(4)).places()[3].y, row[0].y);
    // However narrow, a screen holds a column.
    EXPECT_GT(HomeScreenLayout(100, 667, apps(2)).places()[1].y, row[0].y);
}

// Tests that apps past the rows that fit above the dock get no place, so a
// tap can open only an app the picture shows.
TEST(HomeScreenLayoutTest, AppsPastTheLastRowHaveNoPlace) {
    const std::vector<std::string> many = apps(60);
    const HomeScreenLayout layout(375, 667, many);
    ASSERT_LT(layout.places().size(), many.size());
    ASSERT_GT(layout.places().size(), 4u);
    // Whole rows only, as a page of the phone's: six rows of four on this
    // screen, none begun in the dock's place.
    EXPECT_EQ(layout.places().size(), 24u);
    EXPECT_EQ(layout.places().back().y, layout.places()[20].y);
    // A row that ends just where the dock's space begins still fits.
    EXPECT_EQ(HomeScreenLayout(375, 666, many).places().size(), 24u);
    EXPECT_EQ(HomeScreenLayout(375, 665, many).places().size(), 20u);
    for (size_t i = 0; i < layout.places().size(); ++i) EXPECT_EQ(layout.places()[i].bundle, many[i]);
    for (double y = 0; y < 667; y += 4)
        for (double x = 0; x < 375; x += 4) {
            auto hit = layout.iconAt(x, y);
            if (!hit) continue;
            EXPECT_NE(std::find(many.begin(), many.begin() + static_cast<long>(layout.places().size()), *hit),
                      many.begin() + static_cast<long>(layout.places().size()));
        }
}

} // namespace
