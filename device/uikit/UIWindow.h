// Windows. A window is a view at the top of a hierarchy, placed on the
// screen by the window server at its level.
#pragma once

#include <memory>

#include "uikit/UIView.h"
#include "uikit/UIViewController.h"

using UIWindowLevel = double;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0.0;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000.0;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000.0;

// A window is made hidden, as on the platform: it shows once setHidden: NO
// or makeKeyAndVisible is sent. Nothing of the platform keeps a window: it
// is on screen for as long as its owner keeps it (a shared_ptr, made with
// make_shared or initWithFrame) and leaves the screen when it is
// deallocated, with whatever it presents.
class UIWindow : public UIView {
public:
    UIWindow();
    explicit UIWindow(const CGRect& frame);
    ~UIWindow() override;
    static std::shared_ptr<UIWindow> initWithFrame(const CGRect& frame) { return std::make_shared<UIWindow>(frame); }
    std::string className() const override { return "UIWindow"; }

    // Installs the controller and loads its view, sized to the window's
    // bounds; the view becomes the window's front subview. The previous
    // root's view leaves the window. nullptr uninstalls.
    void setRootViewController(const std::shared_ptr<UIViewController>& controller);
    // The root view follows the window's size, as its autoresizing does on
    // the platform.
    void setFrame(const CGRect& frame) override;
    std::shared_ptr<UIViewController> rootViewController() const { return root_; }

    UIWindowLevel windowLevel() const { return level_; }
    void setWindowLevel(UIWindowLevel level);
    // Showing a window puts it on screen, on top of the others of its level;
    // hiding it takes it off.
    // A level that is not finite is ignored. Changing the level of a
    // visible window puts it on top of the windows of its new level.
    void setHidden(bool hidden) override;
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;

    void setAutorotates(bool autorotates) { autorotates_ = autorotates; }
    bool autorotates() const { return autorotates_; }
    void _setSecure(bool secure) { secure_ = secure; }
    bool isSecure() const { return secure_; }

    UIWindow* window() const override { return const_cast<UIWindow*>(this); }
    // The end of the responder chain: the application is no responder here.
    UIResponder* nextResponder() const override;

    // The key window (`[UIWindow valueForKey:@"keyWindow"]`), or nullptr.
    static std::shared_ptr<UIWindow> keyWindow();

private:
    std::shared_ptr<UIViewController> root_;
    UIWindowLevel level_ = UIWindowLevelNormal;
    bool autorotates_ = true;
    bool secure_ = false;
};
