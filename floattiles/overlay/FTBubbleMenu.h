// The bubbles' long-press menu: its window, from the press until an action
// is picked, and the alert in it. It knows nothing of the bubbles: whoever
// shows it is told which action was picked, once the window has gone.
#pragma once

#include <functional>
#include <memory>

#include "uikit/UIWindow.h"

// The menu's actions, in the order it lists them.
enum class FTMenuAction { HideNow, ToggleLock, Blacklist, SavePosition, AlignRow, AlignColumn, Cancel };

class FTBubbleMenu {
public:
    // Puts the menu up over everything, the lock screen included; `locked`
    // chooses the lock action's title. `picked` runs after the window has
    // gone, whichever action it was.
    void show(bool locked, std::function<void(FTMenuAction)> picked);
    // Hides and lets go of the menu's window (its alert has gone).
    void close();

private:
    // Nothing of the platform keeps a window: the menu holds its own until
    // its alert has gone.
    std::shared_ptr<UIWindow> window_;
};
