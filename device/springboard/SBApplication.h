// One installed app as the home screen knows it: its identifier and badge.
#pragma once

#include <string>

#include "runtime/Runtime.h"

class SBApplication : public NSObject {
public:
    explicit SBApplication(std::string bundleIdentifier, id badgeValue = nullptr)
        : bundleIdentifier_(std::move(bundleIdentifier)), badgeValue_(std::move(badgeValue)) {}
    std::string className() const override { return "SBApplication"; }
    std::string description() const override { return "<SBApplication " + bundleIdentifier_ + ">"; }

    const std::string& bundleIdentifier() const { return bundleIdentifier_; }
    const id& badgeValue() const { return badgeValue_; }
    void setBadgeValue(id value) { badgeValue_ = std::move(value); }

private:
    std::string bundleIdentifier_;
    id badgeValue_;
};
