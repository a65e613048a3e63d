// The overlay's process-wide host object: made once, on first request, and
// never destroyed. It owns the host window, exposes the overlay controller
// as its mainView, and turns the bubbles to the front app's orientation.
#pragma once

#include <cstdint>
#include <memory>

#include "overlay/FTContainingWindow.h"
#include "overlay/FTCustomViewController.h"

class bothVC : public NSObject {
public:
    bothVC();
    std::string className() const override { return "bothVC"; }

    static std::shared_ptr<bothVC> sharedInstance();
    static bool sharedInstanceExist();
    static int64_t getoldOrientation();
    static void notifyOrientationChange();
    // Drops the single instance (a fresh process state for tests).
    static void resetSharedInstance();

    void init();
    void orientationChanged();

    std::shared_ptr<FTContainingWindow> springboardWindow;
    std::shared_ptr<FTCustomViewController> mainView;
    void setSpringboardWindow(std::shared_ptr<FTContainingWindow> w) { springboardWindow = std::move(w); }
    void setMainView(std::shared_ptr<FTCustomViewController> c) { mainView = std::move(c); }

    // The rotation for an interface-orientation code.
    static double rotationAngleForOrientation(int64_t orientation);
};
