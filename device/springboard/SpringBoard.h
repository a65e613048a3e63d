// The home screen's application object. Its orientation answer, app
// launches and icons come from the host's state; the launch and the front
// display change are runtime methods that a plugin may replace.
#pragma once

#include "uikit/UIApplication.h"

class SpringBoard : public UIApplication {
public:
    std::string className() const override { return "SpringBoard"; }

    long _frontMostAppOrientation() override;
    // Recorded in the trace ("launch BUNDLE suspended=NO"); nothing comes
    // to the front by itself.
    bool launchApplicationWithIdentifier(const std::string& bundleIdentifier, bool suspended) override;
    // A 60x60 point icon at the given scale for an installed app that has
    // one; nil for any other identifier.
    std::shared_ptr<UIImage> iconForBundleIdentifier(const std::string& bundleIdentifier, int format,
                                                     double scale) override;
};
