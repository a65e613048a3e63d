// The overlay controller: the one object that holds every bubble and
// receives every action on them. Its operations are spread over one source
// file per concern: construction (BubbleConstruction), appearance and
// layout (AppearanceLayout), touch handling (TouchHandling), the long-press
// menu and hiding (LongPressMenu), and its writes to the state file
// (StateFileWrites). The long-press menu's window and alert are a class of
// their own (FTBubbleMenu), which the controller owns. The bubbles, the
// one state every concern shares, stay here: the runtime sends every
// bubble's actions to this class by the names the trace shows.
#pragma once

#include <memory>
#include <vector>

#include "button/UIButtonFT.h"
#include "overlay/FTBubbleMenu.h"
#include "overlay/FTContainingWindow.h"
#include "settings/SettingsTable.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIViewController.h"

class NSTimer;

class FTCustomViewController : public UIViewController {
public:
    FTCustomViewController();
    std::string className() const override { return "FTCustomViewController"; }

    // Appearance and layout.
    void setBubbleSize();
    void setBadgeColor();
    void setFrameColor();
    void setDim();
    void setCircle();
    void updateBadgesButton();
    void setInitialPos();
    void updateCenterIfNeeded(bool initialPlacement, bool orientationChange);
    void setTransformToButton(const CGAffineTransform& transform);
    // What a settings reading asks the overlay to redo, as its operation.
    void applySettingPush(OverlayPush push);

    // Construction.
    const std::vector<std::shared_ptr<UIButtonFT>>& getbuttons() const { return mybuttons; }
    void destroyButtons() {}
    void loadView() override;
    void initBundles();

    // Touch handling.
    void finishedDragged(UIButtonFT* sender, UIEvent* event);
    void wasDragged(UIButtonFT* sender, UIEvent* event);
    void tappedSiri(UIButtonFT* sender);
    void timeOut(NSTimer* timer);

    // Writes to the state file.
    void setDictWithWriting(bool writeToStore);
    void savePosInPlist();

    // Long-press menu and hiding.
    void setHidden(bool hidden);
    void imgLongPressed(UIGestureRecognizer* recognizer);
    // Hides and lets go of the menu's window (its alert has gone).
    void closeMenuWindow();
    // What the picked action of the menu does to the bubbles.
    void doMenuAction(FTMenuAction action);

    // Invalidates the running idle timer and schedules a new one.
    void startIdleTimer();

    std::shared_ptr<FTContainingWindow> getBubbleWindow() const { return mainWindowForButtons; }

private:
    std::vector<std::shared_ptr<UIButtonFT>> mybuttons;
    std::shared_ptr<UIButtonFT> appButton;
    std::shared_ptr<FTContainingWindow> mainWindowForButtons;
    // The long-press menu, from the press until an action is picked.
    FTBubbleMenu menu;
};
