// Images: here only app icons, which the host draws from their identifier.
#pragma once

#include <memory>
#include <string>

#include "runtime/Runtime.h"
#include "uikit/Geometry.h"

class UIImage : public NSObject {
public:
    UIImage(std::string bundleIdentifier, CGSize size, double scale)
        : bundleIdentifier_(std::move(bundleIdentifier)), size_(size), scale_(scale) {}
    std::string className() const override { return "UIImage"; }

    // The home-screen icon of an installed app, answered by the host
    // application (UIApplication::iconForBundleIdentifier); nil when there
    // is none for that identifier.
    static std::shared_ptr<UIImage> _applicationIconImageForBundleIdentifier(const std::string& bundleIdentifier,
                                                                              int format, double scale);

    const std::string& bundleIdentifier() const { return bundleIdentifier_; }
    CGSize size() const { return size_; }
    double scale() const { return scale_; }

private:
    std::string bundleIdentifier_;
    CGSize size_;
    double scale_;
};
