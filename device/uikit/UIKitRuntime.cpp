// The runtime classes of UIKit and Core Animation, in every process from
// its start, with the superclass chain of the C++ classes so that
// isKindOfClass: answers as on the platform and plugins can subclass them
// by name.
#include "runtime/Runtime.h"
#include "uikit/UIAlertController.h"

namespace {

// The target of every alert button: a tap picks the button's action.
Value alertButtonTapped(const id& self, const SEL&, const Args& args) {
    auto alert = std::dynamic_pointer_cast<UIAlertController>(self);
    auto button = args.empty() ? nullptr : args[0].as<UIView>();
    if (!alert || !button || button->tag() < 0) return {};
    return alert->pickActionAtIndex(static_cast<size_t>(button->tag()));
}

void installUIKit(Runtime& rt) {
    static const std::pair<const char*, const char*> classes[] = {
        {"UIResponder", "NSObject"},
        {"UIView", "UIResponder"},
        {"UIControl", "UIView"},
        {"UIButton", "UIControl"},
        {"UILabel", "UIView"},
        {"UIWindow", "UIView"},
        {"UIViewController", "UIResponder"},
        {"UIAlertController", "UIViewController"},
        {"UIAlertAction", "NSObject"},
        {"UIGestureRecognizer", "NSObject"},
        {"UILongPressGestureRecognizer", "UIGestureRecognizer"},
        {"UIApplication", "NSObject"},
        {"UIScreen", "NSObject"},
        {"UIImage", "NSObject"},
        {"UIColor", "NSObject"},
        {"UIFont", "NSObject"},
        {"UITouch", "NSObject"},
        {"UIEvent", "NSObject"},
        {"CALayer", "NSObject"},
        {"CAAnimation", "NSObject"},
        {"CATransition", "CAAnimation"},
        {"CAMediaTimingFunction", "NSObject"},
    };
    for (const auto& [name, super] : classes) rt.defineClass(name, super);
    rt.classNamed("UIAlertController")->addMethod("_actionButtonTapped:", alertButtonTapped);
}

RuntimeInstaller installer(installUIKit);

} // namespace
