// Where the home screen puts the apps' icons: the picture draws them there
// (sim/Snapshot.cpp) and a tap on the phone's own screen opens the app whose
// icon it hit (sim/PhoneBehaviour.cpp), so the two always agree.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The top-left corner of an app's square icon; its name is below it.
struct HomeIconPlace {
    std::string bundle;
    double x = 0, y = 0;
};

class HomeScreenLayout {
public:
    static constexpr double kIconSize = 60;
    static constexpr double kLabelHeight = 18; // the name under the icon

    // The apps in the home screen's order, on a screen of this size; those
    // past the last row that fits above the dock have no place.
    HomeScreenLayout(double width, double height, const std::vector<std::string>& bundles);
    const std::vector<HomeIconPlace>& places() const { return places_; }
    // The app whose icon or name is under the point, if any.
    std::optional<std::string> iconAt(double x, double y) const;

private:
    std::vector<HomeIconPlace> places_;
};
