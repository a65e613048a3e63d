// What a finger does to a bubble: drag, release (edge snapping), tap
// (launch, unlock first, or Siri), and the idle dimming.
//
//   event of the bubble     | handler
//   touch drag inside       | wasDragged:withEvent:  moves it, wakes all bubbles
//   touch up inside         | finishedDragged:withEvent:  snaps (sticky)
//                           | tappedSiri:  launches, unless a drag just ended
//   idle timer tick         | timeOut:  dims all on the eighth tick
#include <cstdint>

#include "foundation/NSBundle.h"
#include "overlay/CentreBounds.h"
#include "overlay/FTCustomViewController.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIApplication.h"
#include "uikit/UITouch.h"

namespace {

long frontOrientation() { return host::frontMostAppOrientation(); }

} // namespace

// The bubbles do not turn with the screen; a bubble in a landscape app
// carries a quarter-turn transform, so a movement measured in its own
// coordinates is turned back here.
//
//   orientation  new centre          bounds changed
//   2            no move             none
//   3            (cx - dy, cy + dx)  maxY = H - 10, minX = 25
//   4            (cx + dy, cy - dx)  maxY = H - 10, maxX = W - 25
//   other        (cx + dx, cy + dy)  none
void FTCustomViewController::wasDragged(UIButtonFT* sender, UIEvent* event) {
    const FTSettings& s = settingsVariables();
    FTOverlayState& o = overlayState();
    if (s.isLocked || !sender) return;

    UITouch* touch = event ? UIEvent::anyObject(event->touchesForView(sender)) : nullptr;
    CGPoint start = sender->center();
    CGPoint previous = touch ? touch->previousLocationInView(sender) : CGPoint{};
    CGPoint current = touch ? touch->locationInView(sender) : CGPoint{};
    double dx = current.x - previous.x;
    double dy = current.y - previous.y;

    long orientation = frontOrientation();
    const FTDragBounds bounds = dragBounds(orientation);

    CGPoint c = sender->center();
    switch (orientation) {
    case UIInterfaceOrientationPortraitUpsideDown:
        break;
    case UIInterfaceOrientationLandscapeRight:
        sender->setCenter(CGPointMake(c.x - dy, c.y + dx));
        break;
    case UIInterfaceOrientationLandscapeLeft:
        sender->setCenter(CGPointMake(c.x + dy, c.y - dx));
        break;
    default:
        sender->setCenter(CGPointMake(c.x + dx, c.y + dy));
        break;
    }

    // One correction per event: a bubble beyond two bounds comes back over
    // two events.
    c = sender->center();
    if (c.x > bounds.maxX) sender->setCenter(CGPointMake(bounds.maxX, c.y));
    else if (c.x < bounds.minX) sender->setCenter(CGPointMake(bounds.minX, c.y));
    else if (c.y < bounds.minY) sender->setCenter(CGPointMake(c.x, bounds.minY));
    else if (c.y > bounds.maxY) sender->setCenter(CGPointMake(c.x, bounds.maxY));

    CGPoint end = sender->center();
    if (end.x == start.x && end.y == start.y) return;
    if (s.isDim && !s.isAlwaysDim)
        // 1.5, not 1, as the plugin has always set it: the dump and scenarios read 1.5; above 1 draws opaque.
        for (const auto& button : mybuttons) button->setAlpha(1.5);
    o.isDragged = YES;
    o.idleCounter = 0;
}

void FTCustomViewController::finishedDragged(UIButtonFT* sender, UIEvent*) {
    const FTSettings& s = settingsVariables();
    const FTOverlayState& o = overlayState();
    if (!s.isSticky || !sender) return;
    long orientation = frontOrientation();
    std::shared_ptr<UIView> bubble = std::static_pointer_cast<UIView>(sender->self());
    if (orientation == UIInterfaceOrientationLandscapeRight || orientation == UIInterfaceOrientationLandscapeLeft) {
        double target = sender->center().y > static_cast<double>(o.screenHeight * 0.5f)
                            ? static_cast<double>(o.screenHeight - 20.0f)
                            : 20.0;
        UIView::animateWithDuration(kMoveDuration03, 0, kAnimationOptions,
                                    [&] { bubble->setCenter(CGPointMake(bubble->center().x, target)); });
    } else {
        double target = sender->center().x > static_cast<double>(o.screenWidth * 0.5f)
                            ? static_cast<double>(o.screenWidth)
                            : 0.0;
        UIView::animateWithDuration(kMoveDuration03, 0, kAnimationOptions,
                                    [&] { bubble->setCenter(CGPointMake(target, bubble->center().y)); });
    }
}

void FTCustomViewController::tappedSiri(UIButtonFT* sender) {
    FTOverlayState& o = overlayState();
    if (o.isDragged) {
        // The lift that ends a drag launches nothing.
        o.isDragged = NO;
        startIdleTimer();
        return;
    }
    if (sender) {
        std::shared_ptr<UIView> bubble = std::static_pointer_cast<UIView>(sender->self());
        // The same 1.5 as a drag's, for the same reason.
        UIView::animateWithDuration(kTapDuration015, 0, kAnimationOptions, [&] { bubble->setAlpha(1.5); });

        std::shared_ptr<NSString> bundle = sender->getButtonBundleID();
        std::string bundleText = bundle ? bundle->UTF8String() : std::string();
        if (bundle && bundleText == host::kSiriBundleID) {
            auto framework = NSBundle::bundleWithPath(host::kAccessibilityFrameworkPath);
            if (host::send(host::accessibilityServer(), "isSiriVisible").boolValue()) {
                host::send(host::accessibilityServer(), "dismissSiri");
            } else if (framework) {
                if (!framework->isLoaded()) framework->load();
                host::send(host::systemActionHelper(), "activateSiri");
            } else {
                host::send(host::accessibilityServer(), "openSiri");
            }
        } else {
            id manager = host::lockScreenManager();
            if (host::send(manager, "isUILocked").boolValue()) {
                o.pendingLaunchBundleID = bundle;
                host::send(manager, "lockScreenViewControllerRequestsUnlock");
            } else {
                host::launchApplication(bundleText);
                o.pendingLaunchBundleID = nullptr;
            }
        }
    }
    startIdleTimer();
}

void FTCustomViewController::timeOut(NSTimer* timer) {
    const FTSettings& s = settingsVariables();
    FTOverlayState& o = overlayState();
    if (!s.isDim) {
        o.idleCounter = 0;
        return;
    }
    int32_t ticks = o.idleCounter;
    // Saturates instead of overflowing when there is nothing to dim.
    if (ticks < INT32_MAX) o.idleCounter = ticks + 1;
    if (ticks < 7) return;
    // The timer may be the last owner of this controller's target link;
    // keep it alive until the pass is done.
    std::shared_ptr<NSObject> keep = timer ? timer->self() : nullptr;
    for (size_t i = 0; i < mybuttons.size(); ++i) {
        UIView::animateWithDuration(kFadeDuration045, 0, kAnimationOptions, [this, i] {
            if (i < mybuttons.size()) mybuttons[i]->setAlpha(kDimAlpha03);
        });
        if (timer) timer->invalidate();
        o.idleCounter = 0;
    }
}
