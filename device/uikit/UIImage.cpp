#include "uikit/UIImage.h"

#include "uikit/UIApplication.h"

std::shared_ptr<UIImage> UIImage::_applicationIconImageForBundleIdentifier(const std::string& bundleIdentifier,
                                                                           int format, double scale) {
    auto app = UIApplication::sharedApplication();
    return app ? app->iconForBundleIdentifier(bundleIdentifier, format, scale) : nullptr;
}
