// Building the bubble window and one bubble per chosen app.
#include <cmath>

#include "colorpicker/libcolorpicker.h"
#include "overlay/FTCustomViewController.h"
#include "settings/SettingsTable.h"
#include "settings/StateStore.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"

namespace {

// The runtime reaches the controller's handlers by selector (control
// actions, the long press, the idle timer); these forward to the C++
// methods. A missing or mistyped argument reads as nil.
template <class T>
T* argument(const Args& args, size_t index) {
    return index < args.size() ? dynamic_cast<T*>(args[index].object().get()) : nullptr;
}

FTCustomViewController* controllerOf(const id& self) { return dynamic_cast<FTCustomViewController*>(self.get()); }

Value wasDraggedIMP(const id& self, const SEL&, const Args& args) {
    if (auto* c = controllerOf(self)) c->wasDragged(argument<UIButtonFT>(args, 0), argument<UIEvent>(args, 1));
    return {};
}

Value finishedDraggedIMP(const id& self, const SEL&, const Args& args) {
    if (auto* c = controllerOf(self)) c->finishedDragged(argument<UIButtonFT>(args, 0), argument<UIEvent>(args, 1));
    return {};
}

Value tappedSiriIMP(const id& self, const SEL&, const Args& args) {
    if (auto* c = controllerOf(self)) c->tappedSiri(argument<UIButtonFT>(args, 0));
    return {};
}

Value timeOutIMP(const id& self, const SEL&, const Args& args) {
    if (auto* c = controllerOf(self)) c->timeOut(argument<NSTimer>(args, 0));
    return {};
}

Value imgLongPressedIMP(const id& self, const SEL&, const Args& args) {
    if (auto* c = controllerOf(self)) c->imgLongPressed(argument<UIGestureRecognizer>(args, 0));
    return {};
}

} // namespace

FTCustomViewController::FTCustomViewController() {
    objc_lookUpOrDefineClass("FTCustomViewController", "UIViewController",
                             {{"wasDragged:withEvent:", wasDraggedIMP},
                              {"finishedDragged:withEvent:", finishedDraggedIMP},
                              {"tappedSiri:", tappedSiriIMP},
                              {"timeOut:", timeOutIMP},
                              {"imgLongPressed:", imgLongPressedIMP}});
}

// The controller's own view stays an empty plain view: the bubbles live in
// a window of their own, above alerts and the lock screen.
void FTCustomViewController::loadView() {
    setView(UIView::init());
    initBundles();
}

void FTCustomViewController::startIdleTimer() {
    FTOverlayState& o = overlayState();
    if (o.mytimer) o.mytimer->invalidate();
    o.mytimer = NSTimer::scheduledTimerWithTimeInterval(1.0, self(), "timeOut:", nullptr, YES);
}

void FTCustomViewController::initBundles() {
    const FTSettings& s = settingsVariables();
    FTOverlayState& o = overlayState();
    mybuttons.clear();

    CGRect screen = UIScreen::mainScreen()->bounds();
    mainWindowForButtons = FTContainingWindow::initWithFrame(CGRectMake(0, 0, screen.size.width, screen.size.height));
    mainWindowForButtons->setRootViewController(UIViewController::init());
    std::shared_ptr<UIView> bubbleHolder = mainWindowForButtons->rootViewController()->view();
    mainWindowForButtons->setWindowLevel(UIWindowLevelAlert + 1.0);
    mainWindowForButtons->setHidden(NO);
    mainWindowForButtons->setOpaque(NO);
    // Four sends, as ever: a hook on setAutorotates: sees each in turn, and the last (NO) is what holds.
    host::setAutorotates(*mainWindowForButtons, NO);
    host::setAutorotates(*mainWindowForButtons, NO);
    host::setAutorotates(*mainWindowForButtons, YES);
    host::setAutorotates(*mainWindowForButtons, NO);
    host::setSecure(*mainWindowForButtons, YES);
    mainWindowForButtons->setUserInteractionEnabled(YES);
    mainWindowForButtons->makeKeyAndVisible();
    mainWindowForButtons->setBackgroundColor(UIColor::clearColor());

    // The chosen apps in the order of their keys, as the store found them in its
    // one pass over the keys at load: a start does not walk the file again.
    for (const std::string& bundle : stateStore().chosenBundles()) {
        o.myfinalbundle = std::make_shared<NSString>(bundle);

        auto icon = host::applicationIconImage(bundle, 2, UIScreen::mainScreen()->scale());
        if (!icon) continue;

        appButton = UIButton::buttonWithType<UIButtonFT>(UIButtonTypeCustom);
        appButton->setImage(icon, UIControlStateNormal);
        appButton->setFrame(CGRectMake(600.0, static_cast<double>(o.nextBubbleY), static_cast<double>(s.bubbleSize),
                                       static_cast<double>(s.bubbleSize)));
        appButton->layer()->setCornerRadius(static_cast<double>(s.bubbleSize / 5.0f));
        if (s.isCircle) {
            appButton->setClipsToBounds(YES);
            appButton->layer()->setCornerRadius(static_cast<double>(s.bubbleSize * 0.5f));
        }
        appButton->layer()->setBorderWidth(2.0);
        appButton->layer()->setBorderColor(
            LCPParseColorString(s.globalBoundColor.get(), kBorderColourFallback)->CGColor());

        // Bubbles stack downwards until they near the bottom of the screen;
        // from there every further bubble shares the last top edge.
        if (o.screenHeight - 55.0f > static_cast<float>(o.nextBubbleY)) o.nextBubbleY += 50;

        appButton->addTarget(self(), "wasDragged:withEvent:", UIControlEventTouchDragInside);
        appButton->addTarget(self(), "finishedDragged:withEvent:", UIControlEventTouchUpInside);
        appButton->addTarget(self(), "tappedSiri:", UIControlEventTouchUpInside);
        startIdleTimer();

        mybuttons.push_back(appButton);
        mybuttons.back()->setButtonBundleID(std::make_shared<NSString>(o.myfinalbundle->UTF8String()));
        mybuttons.back()->setAndUpdateBadgeView();
        if (auto badge = mybuttons.back()->getBadgeView()) mybuttons.back()->addSubview(badge);
        bubbleHolder->addSubview(mybuttons.back());
    }

    for (const auto& button : mybuttons)
        button->addGestureRecognizer(UILongPressGestureRecognizer::initWithTarget(self(), "imgLongPressed:"));
}
