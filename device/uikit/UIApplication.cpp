#include "uikit/UIApplication.h"

#include "uikit/UIKitState.h"
#include "uikit/WindowServer.h"

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
    auto& state = UIKitState::current();
    // Without a host, a plain application object answers for the platform.
    if (!state.application) state.application = std::make_shared<UIApplication>();
    return state.application;
}

void UIApplication::setSharedApplication(std::shared_ptr<UIApplication> app) {
    UIKitState::current().application = std::move(app);
}

std::shared_ptr<UIWindow> UIApplication::keyWindow() const { return WindowServer::shared().keyWindow(); }

bool UIApplication::launchApplicationWithIdentifier(const std::string&, bool) { return false; }

std::shared_ptr<UIImage> UIApplication::iconForBundleIdentifier(const std::string&, int, double) { return nullptr; }
