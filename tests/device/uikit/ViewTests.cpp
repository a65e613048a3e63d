#include <numbers>

#include "UIKitTestSupport.h"
#include "uikit/UILabel.h"
#include "uikit/UIViewController.h"

using namespace uikit_test;

namespace {
class ViewTest : public UIKitTest {};
const double kQuarter = std::numbers::pi / 2;
} // namespace

TEST_F(ViewTest, FrameCenterAndBoundsFollowEachOther) {
    auto v = UIView::initWithFrame(CGRectMake(100, 200, 50, 40));
    EXPECT_EQ(v->center(), CGPointMake(125, 220));
    EXPECT_EQ(v->bounds(), CGRectMake(0, 0, 50, 40));
    // A new size keeps the centre.
    v->setBounds(CGRectMake(0, 0, 60, 60));
    EXPECT_EQ(v->frame(), CGRectMake(95, 190, 60, 60));
    v->setCenter({10, 10});
    EXPECT_EQ(v->frame(), CGRectMake(-20, -20, 60, 60));
    // A new frame of another size keeps the top-left corner it was given.
    v->setFrame(CGRectMake(100, 200, 60, 60));
    EXPECT_EQ(v->center(), CGPointMake(130, 230));
    // A negative size is standardised; not finite values change nothing.
    v->setFrame(CGRectMake(10, 10, -10, -10));
    EXPECT_EQ(v->frame(), CGRectMake(0, 0, 10, 10));
    v->setFrame(CGRectMake(std::nan(""), 0, 5, 5));
    v->setCenter({INFINITY, 0});
    EXPECT_EQ(v->frame(), CGRectMake(0, 0, 10, 10));
}

TEST_F(ViewTest, TransformTurnsAboutTheCentreAndFrameIsItsBoundingBox) {
    auto v = UIView::initWithFrame(CGRectMake(100, 100, 40, 10));
    v->setTransform(CGAffineTransformMakeRotation(kQuarter));
    // Centre and bounds are untouched; the frame stands upright.
    EXPECT_EQ(v->center(), CGPointMake(120, 105));
    EXPECT_EQ(v->bounds(), CGRectMake(0, 0, 40, 10));
    expectNear(v->frame(), CGRectMake(115, 85, 10, 40));
    v->setTransform(CGAffineTransformMakeScale(2, 2));
    expectNear(v->frame(), CGRectMake(80, 95, 80, 20));
    // A translation in the transform moves the frame too.
    v->setTransform(CGAffineTransformMakeTranslation(5, 0));
    EXPECT_EQ(v->frame(), CGRectMake(105, 100, 40, 10));
}

TEST_F(ViewTest, AlphaIsKeptAsSet) {
    auto v = UIView::init();
    v->setAlpha(1.5);
    EXPECT_EQ(v->alpha(), 1.5);
    v->setAlpha(-0.5);
    EXPECT_EQ(v->alpha(), -0.5);
    v->setAlpha(std::nan(""));
    EXPECT_EQ(v->alpha(), -0.5);
}

TEST_F(ViewTest, SubviewsKeepOrderAndReAddingBringsToFront) {
    auto parent = UIView::init();
    auto a = UIView::init(), b = UIView::init(), c = UIView::init();
    parent->addSubview(a);
    parent->addSubview(b);
    parent->addSubview(c);
    parent->addSubview(a);
    ASSERT_EQ(parent->subviews().size(), 3u);
    EXPECT_EQ(parent->subviews()[0], b);
    EXPECT_EQ(parent->subviews()[1], c);
    EXPECT_EQ(parent->subviews()[2], a);
    // Adding to another parent moves it.
    auto other = UIView::init();
    other->addSubview(b);
    EXPECT_EQ(parent->subviews().size(), 2u);
    EXPECT_EQ(b->superview(), other.get());
    // A view cannot become its own ancestor's parent.
    c->addSubview(parent);
    EXPECT_EQ(parent->superview(), nullptr);
    EXPECT_TRUE(c->subviews().empty());
}

TEST_F(ViewTest, RemoveFromSuperviewReleasesAndDetaches) {
    auto parent = UIView::init();
    std::weak_ptr<UIView> weakChild;
    {
        auto child = UIView::init();
        weakChild = child;
        parent->addSubview(child);
    }
    ASSERT_FALSE(weakChild.expired());
    weakChild.lock()->removeFromSuperview();
    EXPECT_TRUE(weakChild.expired());
    EXPECT_TRUE(parent->subviews().empty());

    // A child that outlives its parent forgets it.
    auto child = UIView::init();
    {
        auto shortLived = UIView::init();
        shortLived->addSubview(child);
    }
    EXPECT_EQ(child->superview(), nullptr);
}

// Tests that hit testing skips hidden, nearly transparent and
// non-interactive views (and all that is inside them), and prefers the
// frontmost subview.
TEST_F(ViewTest, HitTestHonoursHiddenAlphaAndInteraction) {
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 300, 300));
    auto back = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto front = UIView::initWithFrame(CGRectMake(50, 50, 100, 100));
    auto inner = UIView::initWithFrame(CGRectMake(10, 10, 20, 20));
    root->addSubview(back);
    root->addSubview(front);
    front->addSubview(inner);

    EXPECT_EQ(root->hitTest({90, 90}, nullptr), front);
    EXPECT_EQ(root->hitTest({65, 65}, nullptr), inner);
    EXPECT_EQ(root->hitTest({25, 25}, nullptr), back);
    EXPECT_EQ(root->hitTest({250, 250}, nullptr), root);
    EXPECT_EQ(root->hitTest({300, 10}, nullptr), nullptr);

    front->setHidden(true);
    EXPECT_EQ(root->hitTest({90, 90}, nullptr), back);
    EXPECT_EQ(root->hitTest({65, 65}, nullptr), back);
    front->setHidden(false);

    front->setAlpha(0.009);
    EXPECT_EQ(root->hitTest({90, 90}, nullptr), back);
    front->setAlpha(0.01);
    EXPECT_EQ(root->hitTest({90, 90}, nullptr), front);

    front->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({65, 65}, nullptr), back);
    EXPECT_EQ(root->hitTest({120, 120}, nullptr), root);
    front->setUserInteractionEnabled(true);

    // A label takes no touches by default: the view beneath gets them.
    auto label = UILabel::initWithFrame(CGRectMake(0, 0, 100, 100));
    front->addSubview(label);
    EXPECT_EQ(root->hitTest({90, 90}, nullptr), front);
}

TEST_F(ViewTest, SubviewOutsideItsParentIsNotHit) {
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 300, 300));
    auto small = UIView::initWithFrame(CGRectMake(0, 0, 50, 50));
    auto sticking = UIView::initWithFrame(CGRectMake(40, 40, 50, 50));
    root->addSubview(small);
    small->addSubview(sticking);
    EXPECT_EQ(root->hitTest({45, 45}, nullptr), sticking);
    EXPECT_EQ(root->hitTest({80, 80}, nullptr), root);
}

TEST_F(ViewTest, HitTestFollowsRotation) {
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 300, 300));
    // 100 wide, 20 high, centred on (150, 150); turned a quarter it covers
    // x 140..160, y 100..200.
    auto bar = UIView::initWithFrame(CGRectMake(100, 140, 100, 20));
    root->addSubview(bar);
    EXPECT_EQ(root->hitTest({110, 150}, nullptr), bar);
    bar->setTransform(CGAffineTransformMakeRotation(kQuarter));
    EXPECT_EQ(root->hitTest({110, 150}, nullptr), root);
    EXPECT_EQ(root->hitTest({150, 105}, nullptr), bar);
    EXPECT_EQ(root->hitTest({150, 195}, nullptr), bar);
    EXPECT_EQ(root->hitTest({165, 150}, nullptr), root);
}

TEST_F(ViewTest, PointConversionGoesThroughTransforms) {
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    auto box = UIView::initWithFrame(CGRectMake(100, 100, 100, 50));
    window->addSubview(box);
    auto inner = UIView::initWithFrame(CGRectMake(10, 10, 20, 20));
    box->addSubview(inner);

    EXPECT_EQ(inner->convertPointToView({0, 0}, nullptr), CGPointMake(110, 110));
    EXPECT_EQ(box->convertPointFromView({110, 110}, window.get()), CGPointMake(10, 10));

    box->setTransform(CGAffineTransformMakeRotation(kQuarter));
    // The box's top-left corner lies 50 left of and 25 above its centre
    // (150, 125); a quarter turn takes that offset to 25 right, 50 above.
    expectNear(box->convertPointToView({0, 0}, nullptr), {175, 75});
    expectNear(box->convertPointFromView({175, 75}, nullptr), {0, 0});
    const CGPoint there = inner->convertPointToView({5, 5}, window.get());
    expectNear(inner->convertPointFromView(there, window.get()), {5, 5});
    // Between siblings of one window.
    auto other = UIView::initWithFrame(CGRectMake(0, 0, 10, 10));
    window->addSubview(other);
    expectNear(box->convertPointToView({0, 0}, other.get()), {175, 75});
    // The window's own origin on the screen counts for screen points.
    window->setFrame(CGRectMake(0, 100, 375, 667));
    expectNear(box->convertPointToScreen({0, 0}), {175, 175});
    expectNear(box->convertPointFromScreen({175, 175}), {0, 0});
    // A bounds origin shifts what the subviews show.
    auto scroller = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto content = UIView::initWithFrame(CGRectMake(0, 50, 10, 10));
    scroller->addSubview(content);
    scroller->setBounds(CGRectMake(0, 50, 100, 100));
    EXPECT_EQ(content->convertPointToScreen({0, 0}), CGPointMake(0, 0));
    EXPECT_EQ(content->convertPointToView({0, 0}, scroller.get()), CGPointMake(0, 50));
}

TEST_F(ViewTest, TintComesFromTheNearestAncestorOrSystemBlue) {
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 10, 10));
    auto child = UIView::init();
    window->addSubview(child);
    EXPECT_EQ(child->tintColor()->components(), UIColor::systemBlueColor()->components());
    EXPECT_EQ(window->tintColor()->CGColor()->hex(), "#007aff");
    window->setTintColor(UIColor::colorWithRed(1, 0, 0, 1));
    EXPECT_EQ(child->tintColor()->CGColor()->hex(), "#ff0000");
}

TEST_F(ViewTest, BackgroundColourAndClippingReachTheLayer) {
    auto v = UIView::init();
    v->setBackgroundColor(UIColor::colorWithRed(1, 0.5, 0, 0.25));
    ASSERT_TRUE(v->layer()->backgroundColor().has_value());
    EXPECT_EQ(v->layer()->backgroundColor()->hex(), "#ff8000");
    EXPECT_EQ(v->layer()->backgroundColor()->a, 0.25);
    v->setBackgroundColor(nullptr);
    EXPECT_FALSE(v->layer()->backgroundColor().has_value());
    v->setClipsToBounds(true);
    EXPECT_TRUE(v->layer()->masksToBounds());
}

TEST(Colour, HexRoundsAndClamps) {
    EXPECT_EQ((CGColor{1, 254.4 / 255, 0.5 / 255, 1}.hex()), "#fffe01");
    EXPECT_EQ((CGColor{2, -1, std::nan(""), 1}.hex()), "#ff0000");
    // The named colours are exact, alpha included: a fade from clear is a
    // fade from transparent black, and system blue is opaque.
    EXPECT_EQ(UIColor::clearColor()->components(), (CGColor{0, 0, 0, 0}));
    EXPECT_EQ(UIColor::whiteColor()->components(), (CGColor{1, 1, 1, 1}));
    EXPECT_EQ(UIColor::blackColor()->components(), (CGColor{0, 0, 0, 1}));
    EXPECT_EQ(UIColor::systemBlueColor()->components(), (CGColor{0, 122.0 / 255, 1, 1}));
    EXPECT_EQ(UIColor::colorWithWhite(0.25, 0.5)->components(), (CGColor{0.25, 0.25, 0.25, 0.5}));
    EXPECT_EQ(UIColor::whiteColor()->CGColor()->hex(), "#ffffff");
    EXPECT_EQ(UIColor::blackColor()->CGColor()->hex(), "#000000");
}
