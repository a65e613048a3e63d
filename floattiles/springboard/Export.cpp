// Hands the plugin's process-wide variables and its bubbles to
// springboard-sim for inspection (interfaces/PluginInspection.h). Reads only;
// changes nothing.
#include "PluginState.h"
#include "button/UIButtonFT.h"
#include "interfaces/PluginInspection.h"
#include "overlay/bothVC.h"
#include "settings/StateStore.h"

namespace {

id boolean(bool b) { return NSNumber::numberWithBool(b); }
id integer(int64_t i) { return NSNumber::numberWithInteger(i); }
id real(double d) { return NSNumber::numberWithDouble(d); }
id text(const std::shared_ptr<NSString>& s) { return s ? id(s) : id(NSNull::null()); }

} // namespace

extern "C" __attribute__((visibility("default"))) void SimInspectPlugin(PluginInspection* out) {
    if (!out) return;
    const FTSettings& s = settingsVariables();
    const FTOverlayState& o = overlayState();
    const FTVisibilityState& v = visibilityState();

    auto vars = std::make_shared<NSMutableDictionary>();
    auto set = [&](const char* name, id value) { vars->setObjectForKey(std::move(value), name); };
    set("isEnabled", boolean(s.isEnabled));
    set("isCircle", boolean(s.isCircle));
    set("isAppsOnly", boolean(s.isAppsOnly));
    set("isInAppOnly", boolean(s.isInAppOnly));
    set("isLSOnly", boolean(s.isLSOnly));
    set("isSticky", boolean(s.isSticky));
    set("isLocked", boolean(s.isLocked));
    set("isDim", boolean(s.isDim));
    set("isAlwaysDim", boolean(s.isAlwaysDim));
    set("isHiddenInCC", boolean(s.isHiddenInCC));
    set("isSBOnly", boolean(s.isSBOnly));
    set("isHiddenInLS", boolean(s.isHiddenInLS));
    set("isBadgeEnabled", boolean(s.isBadgeEnabled));
    set("bubbleSize", real(static_cast<double>(s.bubbleSize)));
    set("globalBoundColor", text(s.globalBoundColor));
    set("globalBadgeColor", text(s.globalBadgeColor));
    set("globalBadgeTextColor", text(s.globalBadgeTextColor));

    set("isOverlayCreated", boolean(o.isOverlayCreated));
    set("objSharedInstance", boolean(o.objSharedInstance != nullptr));
    set("sharedInstanceExist", boolean(bothVC::sharedInstanceExist()));
    set("screenWidth", real(static_cast<double>(o.screenWidth)));
    set("screenHeight", real(static_cast<double>(o.screenHeight)));
    set("oldOrientation", integer(o.oldOrientation));
    set("nextBubbleY", integer(o.nextBubbleY));
    set("myfinalbundle", text(o.myfinalbundle));
    set("mytimer", boolean(o.mytimer && o.mytimer->isValid()));
    set("isDragged", boolean(o.isDragged));
    set("idleCounter", integer(o.idleCounter));
    set("pendingLaunchBundleID", text(o.pendingLaunchBundleID));
    set("AVChosenButton", o.AVChosenButton ? text(o.AVChosenButton->getButtonBundleID()) : id(NSNull::null()));

    set("isCurrentlyHidden", boolean(v.isCurrentlyHidden));
    set("isHiddenBeforeCC", boolean(v.isHiddenBeforeCC));
    set("isHidingForCC", boolean(v.isHidingForCC));
    set("isCCPresented", boolean(v.isCCPresented));
    set("isPasscodeVisible", boolean(v.isPasscodeVisible));
    set("isFrontDisplayHandled", boolean(v.isFrontDisplayHandled));
    set("isFirstHomeHandled", boolean(v.isFirstHomeHandled));
    set("isInCall", boolean(v.isInCall));
    set("lastLockState", integer(v.lastLockState));
    set("currentBundle", text(v.currentBundle));

    auto dict = stateStore().floatTilesDict();
    set("floatTilesDict", dict ? id(dict) : id(NSNull::null()));

    out->variables = vars;
    out->bubbles.clear();
    if (o.objSharedInstance && o.objSharedInstance->mainView) {
        for (const auto& button : o.objSharedInstance->mainView->getbuttons()) {
            ExportedBubble bubble;
            if (auto bundle = button->getButtonBundleID()) bubble.bundle = bundle->UTF8String();
            bubble.view = button;
            bubble.badgeView = button->getBadgeView();
            bubble.badgeLabel = button->getBadgeLabel();
            bubble.currentBadgeValue = integer(button->getCurrentBadgeValue());
            out->bubbles.push_back(std::move(bubble));
        }
    }
}
