// The application object. Inside the home screen it is the host's own
// application (SpringBoard derives from it), which answers the front-most
// orientation, launches apps and draws their icons.
#pragma once

#include <memory>
#include <string>

#include "runtime/Runtime.h"
#include "uikit/UIImage.h"

class UIWindow;

// Interface orientations, as the platform numbers them. The landscape names
// follow the home button: in LandscapeRight it is on the right.
enum UIInterfaceOrientation : long {
    UIInterfaceOrientationUnknown = 0,
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeRight = 3,
    UIInterfaceOrientationLandscapeLeft = 4,
};

class UIApplication : public NSObject {
public:
    static std::shared_ptr<UIApplication> sharedApplication();
    // The host installs its application object at boot; until then (and
    // after it is set to nullptr) a plain UIApplication answers.
    static void setSharedApplication(std::shared_ptr<UIApplication> app);
    std::string className() const override { return "UIApplication"; }

    std::shared_ptr<UIWindow> keyWindow() const;
    // The front-most app's interface orientation; a code outside the named
    // ones may come through as it is.
    virtual long _frontMostAppOrientation() { return UIInterfaceOrientationPortrait; }
    // The base application launches nothing and draws no icon (answers NO
    // and nil); the host overrides both.
    virtual bool launchApplicationWithIdentifier(const std::string& bundleIdentifier, bool suspended);
    virtual std::shared_ptr<UIImage> iconForBundleIdentifier(const std::string& bundleIdentifier, int format,
                                                             double scale);
};
