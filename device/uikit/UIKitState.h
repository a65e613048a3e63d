// UIKit's own process-wide state, apart from the window server's: the
// animation blocks being run, completions waiting for their animation to
// end, the animation observer, the shared application and screen objects.
// Internal to device/uikit.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "runtime/Process.h"
#include "uikit/UIView.h"

class UIApplication;
class UIScreen;

struct UIKitState : ProcessComponent {
    static UIKitState& current() { return Process::current().get<UIKitState>(); }

    // One animateWithDuration call whose block is running; nested calls
    // stack, and a change is recorded with the innermost one.
    struct AnimationContext {
        double duration = 0;
        double delay = 0;
        unsigned long options = 0;
    };
    std::vector<AnimationContext> animationContexts;

    // Completions waiting on the run loop, by the number their timer holds:
    // the timer itself holds no plugin code, so dropping these is enough to
    // let go of every completion block at process end.
    std::map<uint64_t, std::function<void(bool)>> pendingCompletions;
    uint64_t nextCompletion = 1;

    std::function<void(const AnimationCall&)> animationObserver;
    std::shared_ptr<UIApplication> application;
    std::shared_ptr<UIScreen> screen;
    // The home screen's interface orientation, which the screen's bounds
    // follow (UIInterfaceOrientation).
    long interfaceOrientation = 1;

    void shutdown() override {
        animationContexts.clear();
        auto completions = std::move(pendingCompletions);
        pendingCompletions.clear();
        completions.clear();
        animationObserver = nullptr;
        application.reset();
        screen.reset();
        interfaceOrientation = 1;
    }
};
