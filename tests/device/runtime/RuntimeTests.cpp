// The object model as plugins rely on it: the nil rule, method replacement
// that keeps the previous implementation, instance variables by name, and a
// respring that starts from fresh process state.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/Foundation.h"
#include "foundation/NotificationCenter.h"
#include "foundation/RunLoop.h"
#include "runtime/Process.h"
#include "runtime/Runtime.h"
#include "runtime/UnrecognizedSelector.h"

namespace {

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { Process::terminate(); }
    void TearDown() override { Process::terminate(); }
};

// A C++ object whose runtime class is named by the test.
class Probe : public NSObject {
public:
    explicit Probe(std::string cls) : cls_(std::move(cls)) {}
    std::string className() const override { return cls_; }
    std::vector<std::string> trace;
    id child;

private:
    std::string cls_;
};

std::vector<std::string>& trace(const id& self) { return std::static_pointer_cast<Probe>(self)->trace; }

Value baseGreet(const id& self, const SEL&, const Args& args) {
    trace(self).push_back("base");
    return Value(args.empty() ? 1 : args[0].intValue() + 1);
}

IMP firstSlot = nullptr;
IMP secondSlot = nullptr;

Value firstHook(const id& self, const SEL& sel, const Args& args) {
    trace(self).push_back("first");
    return Value(firstSlot(self, sel, args).intValue() * 10);
}

Value secondHook(const id& self, const SEL& sel, const Args& args) {
    trace(self).push_back("second");
    return Value(secondSlot(self, sel, args).intValue() + 5);
}

Value sharedInstance(const id&, const SEL&, const Args&) { return Value(7); }
IMP sharedSlot = nullptr;
Value hookedShared(const id& self, const SEL& sel, const Args& args) {
    return Value(sharedSlot(self, sel, args).intValue() + 1000);
}

} // namespace

// Tests that a message that reaches nothing answers NO, 0 and nil.
TEST_F(RuntimeTest, MessagesToNothingAnswerEmpty) {
    Value toNil = msg(id(), "anything", 1, 2);
    EXPECT_TRUE(toNil.isNil());
    EXPECT_FALSE(toNil.boolValue());
    EXPECT_EQ(toNil.intValue(), 0);
    EXPECT_EQ(toNil.doubleValue(), 0.0);
    EXPECT_EQ(toNil.object(), nullptr);

    EXPECT_EQ(NSClassFromString("NoSuchHostClass"), nullptr);
    EXPECT_TRUE(msg(NSClassFromString("NoSuchHostClass"), "sharedInstance").isNil());

    Class* cls = Runtime::current().defineClass("RTKnown");
    cls->addMethod("greet", baseGreet);
    auto obj = std::make_shared<Probe>("RTKnown");
    EXPECT_TRUE(obj->trace.empty());

    // An object whose class the runtime does not know also answers nil.
    auto stranger = std::make_shared<Probe>("RTNeverDefined");
    EXPECT_TRUE(msg(stranger, "greet").isNil());
    EXPECT_FALSE(stranger->respondsToSelector("greet"));
}

// Tests that a live object whose class lacks the method raises, naming the
// class and the selector as the platform's "unrecognized selector" does,
// for instances and classes alike; a method a host version lacks goes from
// the class and its subclasses, and the class stops answering it.
TEST_F(RuntimeTest, UnrecognizedSelectorsRaise) {
    Class* cls = Runtime::current().defineClass("RTLive");
    cls->addMethod("greet", baseGreet);
    cls->addClassMethod("shared", sharedInstance);
    Runtime::current().defineClass("RTLiveSub", "RTLive");
    auto obj = std::make_shared<Probe>("RTLive");
    try {
        msg(obj, "noSuchSelector");
        ADD_FAILURE() << "no exception";
    } catch (const UnrecognizedSelector& e) {
        EXPECT_STREQ(e.what(), "-[RTLive noSuchSelector]: unrecognized selector sent to instance");
        EXPECT_EQ(e.method(), "-[RTLive noSuchSelector]");
    }
    try {
        msg(cls, "noSuchClassMethod");
        ADD_FAILURE() << "no exception";
    } catch (const UnrecognizedSelector& e) {
        EXPECT_STREQ(e.what(), "+[RTLive noSuchClassMethod]: unrecognized selector sent to class");
    }
    EXPECT_TRUE(cls->respondsToSelector("shared"));
    EXPECT_FALSE(cls->respondsToSelector("greet"));

    auto sub = std::make_shared<Probe>("RTLiveSub");
    EXPECT_EQ(msg(sub, "greet", 0).intValue(), 1);
    Runtime::current().removeMethod("RTLive", "greet");
    Runtime::current().removeMethod("RTLive", "shared");
    EXPECT_FALSE(obj->respondsToSelector("greet"));
    EXPECT_FALSE(sub->respondsToSelector("greet"));
    EXPECT_FALSE(cls->respondsToSelector("shared"));
    EXPECT_THROW(msg(sub, "greet", 0), UnrecognizedSelector);
}

// Tests that two replacements of one method both run, each reaching the one
// installed before it, down to the original.
TEST_F(RuntimeTest, HooksChainToThePreviousImplementation) {
    Class* cls = Runtime::current().defineClass("RTChain");
    cls->addMethod("greet", baseGreet);
    firstSlot = secondSlot = nullptr;
    MSHookMessageEx(cls, "greet", firstHook, &firstSlot);
    MSHookMessageEx(cls, "greet", secondHook, &secondSlot);
    EXPECT_EQ(firstSlot, &baseGreet);
    EXPECT_EQ(secondSlot, &firstHook);

    auto obj = std::make_shared<Probe>("RTChain");
    Value v = msg(obj, "greet", 4);
    EXPECT_EQ(v.intValue(), (4 + 1) * 10 + 5);
    EXPECT_EQ(obj->trace, (std::vector<std::string>{"second", "first", "base"}));
}

// Tests that hooking a method a class only inherits replaces it for that
// class and its instances, and leaves the superclass alone.
TEST_F(RuntimeTest, HookingAnInheritedMethod) {
    Runtime& rt = Runtime::current();
    Class* base = rt.defineClass("RTBase");
    base->addMethod("greet", baseGreet);
    Class* sub = rt.defineClass("RTSub", "RTBase");
    EXPECT_EQ(sub->ownMethod("greet"), nullptr);
    firstSlot = nullptr;
    MSHookMessageEx(sub, "greet", firstHook, &firstSlot);
    EXPECT_EQ(firstSlot, &baseGreet);

    auto subObj = std::make_shared<Probe>("RTSub");
    auto baseObj = std::make_shared<Probe>("RTBase");
    EXPECT_EQ(msg(subObj, "greet", 1).intValue(), 20);
    EXPECT_EQ(subObj->trace, (std::vector<std::string>{"first", "base"}));
    EXPECT_EQ(msg(baseObj, "greet", 1).intValue(), 2);
    EXPECT_EQ(baseObj->trace, (std::vector<std::string>{"base"}));
    EXPECT_TRUE(subObj->isKindOfClass(base));
    EXPECT_FALSE(baseObj->isKindOfClass(sub));
}

// Tests that a hook on a missing class or a missing method installs nothing
// and leaves its slot empty, while other hooks still work.
TEST_F(RuntimeTest, MissingClassOrMethodLeavesTheSlotEmpty) {
    IMP slot = nullptr;
    MSHookMessageEx(NSClassFromString("SBMissingController"), "greet", firstHook, &slot);
    EXPECT_EQ(slot, nullptr);

    Class* cls = Runtime::current().defineClass("RTPartial");
    cls->addMethod("greet", baseGreet);
    MSHookMessageEx(cls, "missingSelector", firstHook, &slot);
    EXPECT_EQ(slot, nullptr);
    auto obj = std::make_shared<Probe>("RTPartial");
    EXPECT_FALSE(obj->respondsToSelector("missingSelector"));
    EXPECT_TRUE(obj->trace.empty());

    secondSlot = nullptr;
    MSHookMessageEx(cls, "greet", secondHook, &secondSlot);
    EXPECT_EQ(msg(obj, "greet", 0).intValue(), 6);
}

// Tests that a class method is replaced through the metaclass and that the
// instance side is untouched.
TEST_F(RuntimeTest, ClassMethodHookThroughTheMetaclass) {
    Class* cls = Runtime::current().defineClass("RTShared");
    cls->addClassMethod("sharedInstance", sharedInstance);
    EXPECT_EQ(msg(cls, "sharedInstance").intValue(), 7);

    sharedSlot = nullptr;
    MSHookMessageEx(cls, "sharedInstance", hookedShared, &sharedSlot);
    EXPECT_EQ(sharedSlot, nullptr) << "an instance-side hook must not find a class method";

    MSHookMessageEx(cls->metaclass(), "sharedInstance", hookedShared, &sharedSlot);
    EXPECT_EQ(sharedSlot, &sharedInstance);
    EXPECT_EQ(msg(cls, "sharedInstance").intValue(), 1007);
    EXPECT_FALSE(std::make_shared<Probe>("RTShared")->respondsToSelector("sharedInstance"));

    // Class methods are inherited by subclasses through their metaclass.
    Class* sub = Runtime::current().defineClass("RTSharedSub", "RTShared");
    EXPECT_EQ(msg(sub, "sharedInstance").intValue(), 1007);
}

// Tests that instance variables are found by name, up the superclass chain.
TEST_F(RuntimeTest, InstanceVariablesByName) {
    Class* base = Runtime::current().defineClass("RTController");
    base->addIvar("_applicationsByBundleIdentifer", [](NSObject& self) { return static_cast<Probe&>(self).child; });
    Runtime::current().defineClass("RTSubController", "RTController");

    auto obj = std::make_shared<Probe>("RTSubController");
    obj->child = str("apps");
    const Ivar* ivar = class_getInstanceVariable(object_getClass(obj.get()), "_applicationsByBundleIdentifer");
    ASSERT_NE(ivar, nullptr);
    auto value = std::dynamic_pointer_cast<NSString>(object_getIvar(obj, ivar));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->UTF8String(), "apps");

    EXPECT_EQ(class_getInstanceVariable(object_getClass(obj.get()), "_missing"), nullptr);
    EXPECT_EQ(class_getInstanceVariable(nullptr, "_applicationsByBundleIdentifer"), nullptr);
    EXPECT_EQ(object_getIvar(nullptr, ivar), nullptr);
    EXPECT_EQ(object_getIvar(obj, nullptr), nullptr);
}

// Tests that defining a class twice answers the first definition, so lazy
// definitions by name are idempotent.
TEST_F(RuntimeTest, LookUpOrDefineIsIdempotent) {
    Class* a = objc_lookUpOrDefineClass("RTLazy", "NSObject", {{"greet", baseGreet}});
    Class* b = objc_lookUpOrDefineClass("RTLazy", "NSObject", {{"greet", firstHook}});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->lookUp("greet"), &baseGreet);
    EXPECT_EQ(NSClassFromString("RTLazy"), a);
    // Metaclasses are not reachable by name.
    EXPECT_EQ(NSClassFromString(" meta RTLazy"), nullptr);
}

namespace {
int darwinCalls = 0;
void countDarwin(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) { ++darwinCalls; }
} // namespace

// Tests that a respring drops classes, hooks, timers and observers, and that
// an object that outlived it finds the new process's class of its name.
TEST_F(RuntimeTest, RespringStartsFromFreshState) {
    Class* cls = Runtime::current().defineClass("RTResprung");
    cls->addMethod("greet", baseGreet);
    firstSlot = nullptr;
    MSHookMessageEx(cls, "greet", firstHook, &firstSlot);
    auto survivor = std::make_shared<Probe>("RTResprung");
    EXPECT_EQ(msg(survivor, "greet", 1).intValue(), 20);

    auto target = std::make_shared<Probe>("RTResprung");
    std::weak_ptr<Probe> weakTarget = target;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1.0, target, "greet", nullptr, true);
    target.reset();
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, countDarwin, "rt.note",
                                    nullptr, CFNotificationSuspensionBehaviorCoalesce);
    darwinCalls = 0;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), "rt.note", nullptr, nullptr,
                                         true);
    ASSERT_EQ(darwinCalls, 1);

    Process::terminate();

    EXPECT_EQ(NSClassFromString("RTResprung"), nullptr);
    EXPECT_TRUE(msg(survivor, "greet", 1).isNil());
    EXPECT_TRUE(NSRunLoop::mainRunLoop().timers().empty());
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(weakTarget.expired()) << "a timer must not keep its target past the process";
    darwinCalls = 0;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), "rt.note", nullptr, nullptr,
                                         true);
    EXPECT_EQ(darwinCalls, 0);

    // The class defined again in the new process is the one the old object
    // now reaches, without the old hook.
    Runtime::current().defineClass("RTResprung")->addMethod("greet", baseGreet);
    survivor->trace.clear();
    EXPECT_EQ(msg(survivor, "greet", 1).intValue(), 2);
    EXPECT_EQ(survivor->trace, (std::vector<std::string>{"base"}));
}

// Tests the numeric readings of a message result, including out-of-range
// reals that must saturate rather than be undefined.
TEST_F(RuntimeTest, ValueReadings) {
    EXPECT_EQ(Value(-1).uintValue(), UINT64_MAX);
    EXPECT_EQ(Value(1e300).intValue(), INT64_MAX);
    EXPECT_EQ(Value(-1e300).intValue(), INT64_MIN);
    EXPECT_EQ(Value(std::nan("")).intValue(), 0);
    EXPECT_TRUE(Value(0.5).boolValue());
    EXPECT_FALSE(Value(0.0).boolValue());
    EXPECT_FALSE(Value(id()).boolValue());
    EXPECT_TRUE(Value(id()).isNil());
    EXPECT_TRUE(Value(str("")).boolValue()) << "any object reads as YES";
    EXPECT_EQ(Value(true).intValue(), 1);
    EXPECT_EQ(Value(3u).doubleValue(), 3.0);
    EXPECT_EQ(Value(42).as<NSString>(), nullptr);
}
