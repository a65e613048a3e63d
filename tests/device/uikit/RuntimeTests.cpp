#include "UIKitTestSupport.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIImage.h"
#include "uikit/UILabel.h"

using namespace uikit_test;

namespace {

class UIKitRuntimeTest : public UIKitTest {};

// A host application that draws icons for the apps it knows.
class IconHost : public UIApplication {
public:
    std::shared_ptr<UIImage> iconForBundleIdentifier(const std::string& bundleIdentifier, int format,
                                                     double scale) override {
        lastFormat = format;
        if (bundleIdentifier != "com.example.mail") return nullptr;
        return std::make_shared<UIImage>(bundleIdentifier, CGSizeMake(60, 60), scale);
    }
    int lastFormat = -1;
};

bool kindOf(const NSObject& o, const char* name) { return o.isKindOfClass(NSClassFromString(name)); }

} // namespace

TEST_F(UIKitRuntimeTest, ClassesAnswerIsKindOfClassUpTheirChain) {
    auto button = UIButton::buttonWithType(UIButtonTypeSystem);
    EXPECT_TRUE(kindOf(*button, "UIButton"));
    EXPECT_TRUE(kindOf(*button, "UIControl"));
    EXPECT_TRUE(kindOf(*button, "UIView"));
    EXPECT_TRUE(kindOf(*button, "UIResponder"));
    EXPECT_TRUE(kindOf(*button, "NSObject"));
    EXPECT_FALSE(kindOf(*button, "UILabel"));
    EXPECT_TRUE(kindOf(*UILabel::init(), "UIView"));
    EXPECT_TRUE(kindOf(UIWindow(), "UIView"));
    EXPECT_FALSE(kindOf(UIWindow(), "UIControl"));
    EXPECT_TRUE(kindOf(UIViewController(), "UIResponder"));
    EXPECT_FALSE(kindOf(UIViewController(), "UIView"));
    auto press = UILongPressGestureRecognizer::initWithTarget(nullptr, "x:");
    EXPECT_TRUE(kindOf(*press, "UIGestureRecognizer"));
    EXPECT_TRUE(kindOf(*CATransition::animation(), "CAAnimation"));
    for (const char* name : {"UIApplication", "UIScreen", "UIImage", "UIColor", "UITouch", "UIEvent", "CALayer",
                             "UIAlertAction", "UIAlertController"})
        EXPECT_NE(NSClassFromString(name), nullptr) << name;
    // A plugin's subclass, defined by name, inherits the chain.
    objc_lookUpOrDefineClass("UIKitTestBubble", "UIButton");
    class Bubble : public UIButton {
    public:
        std::string className() const override { return "UIKitTestBubble"; }
    };
    auto bubble = UIButton::buttonWithType<Bubble>(UIButtonTypeCustom);
    EXPECT_TRUE(kindOf(*bubble, "UIControl"));
    EXPECT_EQ(bubble->buttonType(), UIButtonTypeCustom);
}

TEST_F(UIKitRuntimeTest, AppIconsComeFromTheHostApplication) {
    EXPECT_EQ(UIImage::_applicationIconImageForBundleIdentifier("com.example.mail", 2, 2), nullptr);
    EXPECT_FALSE(UIApplication::sharedApplication()->launchApplicationWithIdentifier("com.example.mail", false));
    EXPECT_EQ(UIApplication::sharedApplication()->_frontMostAppOrientation(), 1);
    auto host = std::make_shared<IconHost>();
    UIApplication::setSharedApplication(host);
    EXPECT_EQ(UIApplication::sharedApplication(), host);
    auto icon = UIImage::_applicationIconImageForBundleIdentifier("com.example.mail", 2, 3);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->bundleIdentifier(), "com.example.mail");
    EXPECT_EQ(icon->scale(), 3);
    EXPECT_EQ(host->lastFormat, 2);
    EXPECT_EQ(UIImage::_applicationIconImageForBundleIdentifier("com.example.gone", 2, 2), nullptr);
    // The application belongs to the process.
    Process::terminate();
    EXPECT_NE(UIApplication::sharedApplication(), host);
}

TEST_F(UIKitRuntimeTest, LabelDefaults) {
    auto label = UILabel::init();
    EXPECT_EQ(label->font()->pointSize(), 17);
    EXPECT_EQ(label->textColor()->CGColor()->hex(), "#000000");
    EXPECT_EQ(label->textAlignment(), NSTextAlignmentLeft);
    EXPECT_FALSE(label->isUserInteractionEnabled());
}
