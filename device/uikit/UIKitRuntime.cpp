// The runtime classes of UIKit and Core Animation, in every process from
// its start, with the superclass chain of the C++ classes so that
// isKindOfClass: answers as on the platform and plugins can subclass them
// by name.
#include "foundation/Foundation.h"
#include "runtime/Runtime.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIImage.h"
#include "uikit/UIWindow.h"

namespace {

// The private operations a home-screen plugin sends by selector (a host
// version may lack any of them: see `absent CLASS SELECTOR`).
Value frontMostAppOrientation(const id& self, const SEL&, const Args&) {
    auto app = std::dynamic_pointer_cast<UIApplication>(self);
    return app ? Value(app->_frontMostAppOrientation()) : Value();
}

Value launchApplication(const id& self, const SEL&, const Args& args) {
    auto app = std::dynamic_pointer_cast<UIApplication>(self);
    auto bundle = args.empty() ? nullptr : args[0].as<NSString>();
    if (!app || !bundle) return Value(false);
    return Value(app->launchApplicationWithIdentifier(bundle->UTF8String(), args.size() > 1 && args[1].boolValue()));
}

Value applicationIconImage(const id&, const SEL&, const Args& args) {
    auto bundle = args.empty() ? nullptr : args[0].as<NSString>();
    if (!bundle) return {};
    const int format = args.size() > 1 ? static_cast<int>(args[1].intValue()) : 0;
    const double scale = args.size() > 2 ? args[2].doubleValue() : 1.0;
    return Value(UIImage::_applicationIconImageForBundleIdentifier(bundle->UTF8String(), format, scale));
}

Value setAutorotates(const id& self, const SEL&, const Args& args) {
    if (auto window = std::dynamic_pointer_cast<UIWindow>(self))
        window->setAutorotates(!args.empty() && args[0].boolValue());
    return {};
}

Value setSecure(const id& self, const SEL&, const Args& args) {
    if (auto window = std::dynamic_pointer_cast<UIWindow>(self))
        window->_setSecure(!args.empty() && args[0].boolValue());
    return {};
}

Value setAllowsAutorotation(const id& self, const SEL&, const Args& args) {
    if (auto controller = std::dynamic_pointer_cast<UIViewController>(self))
        controller->_setAllowsAutorotation(!args.empty() && args[0].boolValue());
    return {};
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
    Class* application = rt.classNamed("UIApplication");
    application->addMethod("_frontMostAppOrientation", frontMostAppOrientation);
    application->addMethod("launchApplicationWithIdentifier:suspended:", launchApplication);
    rt.classNamed("UIImage")->addClassMethod("_applicationIconImageForBundleIdentifier:format:scale:",
                                             applicationIconImage);
    rt.classNamed("UIWindow")->addMethod("setAutorotates:", setAutorotates);
    rt.classNamed("UIWindow")->addMethod("_setSecure:", setSecure);
    rt.classNamed("UIViewController")->addMethod("_setAllowsAutorotation:", setAllowsAutorotation);
}

RuntimeInstaller installer(installUIKit);

} // namespace
