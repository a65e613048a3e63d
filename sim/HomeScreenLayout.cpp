#include "sim/HomeScreenLayout.h"

#include <algorithm>

HomeScreenLayout::HomeScreenLayout(double width, double height, const std::vector<std::string>& bundles) {
    const int columns = std::max(1, static_cast<int>((width - 20) / 87));
    const double gap = (width - columns * kIconSize) / (columns + 1);
    for (const auto& bundle : bundles) {
        const size_t i = places_.size();
        const double x = gap + static_cast<double>(i % columns) * (kIconSize + gap);
        const double y = 56 + static_cast<double>(i / columns) * 92;
        // A row that would reach down into the dock is not drawn, not even
        // its first icon: the phone starts another page instead.
        if (y + 150 > height) break;
        places_.push_back({bundle, x, y});
    }
}

std::optional<std::string> HomeScreenLayout::iconAt(double x, double y) const {
    for (const auto& icon : places_)
        if (x >= icon.x && x < icon.x + kIconSize && y >= icon.y && y < icon.y + kIconSize + kLabelHeight)
            return icon.bundle;
    return std::nullopt;
}
