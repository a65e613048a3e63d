// What the UIKit tests share: a fresh process per test, a target object
// that records the messages it receives, and one-call helpers to put a
// window on screen and to tap.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/RunLoop.h"
#include "runtime/Process.h"
#include "runtime/Runtime.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

namespace uikit_test {

// Receives target/action messages by selector and keeps them in order.
class Recorder : public NSObject {
public:
    std::string className() const override { return "UIKitTestRecorder"; }
    struct Call {
        SEL selector;
        Args args;
    };
    std::vector<Call> calls;
    std::vector<SEL> selectors() const {
        std::vector<SEL> s;
        for (const auto& c : calls) s.push_back(c.selector);
        return s;
    }
    // Run inside each call, after it is recorded (to look at the world as
    // the action sees it).
    std::function<void(const Call&)> onCall;

    static Value record(const id& self, const SEL& sel, const Args& args) {
        auto r = std::dynamic_pointer_cast<Recorder>(self);
        if (!r) return {};
        r->calls.push_back({sel, args});
        if (r->onCall) r->onCall(r->calls.back());
        return {};
    }

    // A recorder whose class answers each of the given selectors.
    static std::shared_ptr<Recorder> make(std::initializer_list<SEL> selectors) {
        Class* cls = objc_lookUpOrDefineClass("UIKitTestRecorder", "NSObject");
        for (const SEL& s : selectors) cls->addMethod(s, &Recorder::record);
        return std::make_shared<Recorder>();
    }
};

class UIKitTest : public ::testing::Test {
protected:
    void SetUp() override {
        Process::terminate();
        UIScreen::configure(375, 667, 2);
        start_ = NSRunLoop::mainRunLoop().now();
    }
    void TearDown() override { Process::terminate(); }

    double now() const { return NSRunLoop::mainRunLoop().now(); }
    void advance(double seconds) { NSRunLoop::mainRunLoop().advance(seconds); }

    // A visible full-screen window with a plain root controller, at level.
    std::shared_ptr<UIWindow> showWindow(double level = 0) {
        auto w = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
        w->setRootViewController(std::make_shared<UIViewController>());
        w->setWindowLevel(level);
        w->setHidden(false);
        return w;
    }

    static WindowServer& server() { return WindowServer::shared(); }
    static bool tap(const CGPoint& p) {
        const bool claimed = server().touchDown(p);
        server().touchUp(p);
        return claimed;
    }

    double start_ = 0;
};

inline void expectNear(const CGPoint& a, const CGPoint& b, double eps = 1e-9) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
}

inline void expectNear(const CGRect& a, const CGRect& b, double eps = 1e-9) {
    EXPECT_NEAR(a.origin.x, b.origin.x, eps);
    EXPECT_NEAR(a.origin.y, b.origin.y, eps);
    EXPECT_NEAR(a.size.width, b.size.width, eps);
    EXPECT_NEAR(a.size.height, b.size.height, eps);
}

} // namespace uikit_test
