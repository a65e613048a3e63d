// The application object. Inside the home screen it is the host's own
// application (SpringBoard derives from it), which answers the front-most
// orientation, launches apps and draws their icons.
#pragma once

#include <memory>
#include <string>

#include "runtime/Runtime.h"
#include "uikit/UIImage.h"

class UIWindow;

class UIApplication : public NSObject {
public:
    static std::shared_ptr<UIApplication> sharedApplication();
    // The host installs its application object at boot; until then (and
    // after it is set to nullptr) a plain UIApplication answers.
    static void setSharedApplication(std::shared_ptr<UIApplication> app);
    std::string className() const override { return "UIApplication"; }

    std::shared_ptr<UIWindow> keyWindow() const;
    virtual long _frontMostAppOrientation() { return 1; }
    // The base application launches nothing and draws no icon (answers NO
    // and nil); the host overrides both.
    virtual bool launchApplicationWithIdentifier(const std::string& bundleIdentifier, bool suspended);
    virtual std::shared_ptr<UIImage> iconForBundleIdentifier(const std::string& bundleIdentifier, int format,
                                                             double scale);
};
