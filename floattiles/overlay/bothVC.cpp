#include "overlay/bothVC.h"

#include "foundation/NotificationCenter.h"
#include "springboard/HostInterfaces.h"
#include "springboard/HostNotifications.h"
#include "springboard/PluginState.h"
#include "uikit/UIApplication.h"
#include "uikit/UIScreen.h"

namespace {

std::shared_ptr<bothVC>& singleInstance() {
    static std::shared_ptr<bothVC> instance;
    return instance;
}

// Both orientation notifications come here; their arguments do not matter,
// only the front app's orientation as it now stands.
void orientationCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    auto instance = bothVC::sharedInstance();
    int64_t orientation = host::frontMostAppOrientation();
    if (orientation != bothVC::getoldOrientation()) {
        bothVC::notifyOrientationChange();
    } else if (instance->mainView) {
        host::setAllowsAutorotation(*instance->mainView, NO);
    }
}

} // namespace

bothVC::bothVC() { objc_lookUpOrDefineClass("bothVC", "NSObject"); }

std::shared_ptr<bothVC> bothVC::sharedInstance() {
    auto& instance = singleInstance();
    if (instance) return instance;
    // The instance is stored only once init has built everything, so
    // sharedInstanceExist answers NO while the bubbles are being made.
    auto made = std::make_shared<bothVC>();
    made->init();
    instance = made;
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, orientationCallback,
                                    kScreenChangedNotification, nullptr,
                                    CFNotificationSuspensionBehaviorDeliverImmediately);
    CFNotificationCenterAddObserver(CFNotificationCenterGetLocalCenter(), nullptr, orientationCallback,
                                    kWindowDidRotateNotification, nullptr, CFNotificationSuspensionBehaviorCoalesce);
    return instance;
}

bool bothVC::sharedInstanceExist() { return singleInstance() != nullptr; }

int64_t bothVC::getoldOrientation() { return overlayState().oldOrientation; }

void bothVC::notifyOrientationChange() { sharedInstance()->orientationChanged(); }

void bothVC::resetSharedInstance() { singleInstance().reset(); }

void bothVC::init() {
    FTOverlayState& o = overlayState();
    // Taken once: the overlay's coordinates never turn, so the size at
    // creation stays the frame of reference for every later rotation.
    o.screenWidth = static_cast<float>(UIScreen::mainScreen()->bounds().size.width);
    o.screenHeight = static_cast<float>(UIScreen::mainScreen()->bounds().size.height);

    springboardWindow = FTContainingWindow::initWithFrame(
        CGRectMake(0, 0, static_cast<double>(o.screenWidth), static_cast<double>(o.screenHeight)));
    springboardWindow->setRootViewController(std::make_shared<FTCustomViewController>());
    mainView = std::dynamic_pointer_cast<FTCustomViewController>(springboardWindow->rootViewController());

    springboardWindow->setHidden(NO);
    springboardWindow->setOpaque(NO);
    // Twice, as ever: a hook on setAutorotates: sees both sends.
    host::setAutorotates(*springboardWindow, NO);
    host::setAutorotates(*springboardWindow, NO);
    springboardWindow->setUserInteractionEnabled(YES);
    springboardWindow->makeKeyAndVisible();
    springboardWindow->setBackgroundColor(UIColor::clearColor());
}

double bothVC::rotationAngleForOrientation(int64_t orientation) {
    switch (orientation) {
    case UIInterfaceOrientationPortraitUpsideDown: return 3.141592653589793;
    case UIInterfaceOrientationLandscapeRight: return 1.5707963267948966;
    case UIInterfaceOrientationLandscapeLeft: return -1.5707963267948966;
    default: return 0;
    }
}

void bothVC::orientationChanged() {
    overlayState().oldOrientation = host::frontMostAppOrientation();
    CGAffineTransform rotation = CGAffineTransformMakeRotation(rotationAngleForOrientation(overlayState().oldOrientation));
    if (!mainView) return;
    mainView->updateCenterIfNeeded(NO, YES);
    mainView->setTransformToButton(rotation);
}
