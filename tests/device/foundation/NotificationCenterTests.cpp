// The Darwin and local notification centres: synchronous delivery in the
// order observers were added, per process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/NotificationCenter.h"
#include "runtime/Process.h"

namespace {

struct Delivery {
    std::string who;
    CFNotificationCenterRef center;
    void* observer;
    std::string name;
    const void* object;
    CFDictionaryRef userInfo;
};
std::vector<Delivery> deliveries;

template <int N>
void record(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
            CFDictionaryRef userInfo) {
    deliveries.push_back({std::to_string(N), center, observer, name ? name : "", object, userInfo});
}

void addsAnotherObserver(CFNotificationCenterRef center, void*, CFStringRef name, const void*, CFDictionaryRef) {
    deliveries.push_back({"adder", center, nullptr, name, nullptr, nullptr});
    CFNotificationCenterAddObserver(center, nullptr, record<9>, name, nullptr, CFNotificationSuspensionBehaviorCoalesce);
}

std::vector<std::string> who() {
    std::vector<std::string> w;
    for (const auto& d : deliveries) w.push_back(d.who);
    return w;
}

class NotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Process::terminate();
        deliveries.clear();
    }
    void TearDown() override { Process::terminate(); }
    CFNotificationCenterRef darwin = CFNotificationCenterGetDarwinNotifyCenter();
    CFNotificationCenterRef local = CFNotificationCenterGetLocalCenter();
};

void add(CFNotificationCenterRef c, CFNotificationCallback cb, CFStringRef name, const void* observer = nullptr) {
    CFNotificationCenterAddObserver(c, observer, cb, name, nullptr, CFNotificationSuspensionBehaviorCoalesce);
}

} // namespace

// Tests that observers run synchronously in the order they were added, only
// for their own name, and that one callback added twice runs twice.
TEST_F(NotificationCenterTest, DeliversInOrderOfAddition) {
    add(darwin, record<2>, "com.example.changed");
    add(darwin, record<1>, "com.example.changed");
    add(darwin, record<3>, "com.example.other");
    add(darwin, record<2>, "com.example.changed");
    CFNotificationCenterPostNotification(darwin, "com.example.changed", nullptr, nullptr, true);
    EXPECT_EQ(who(), (std::vector<std::string>{"2", "1", "2"}));
    deliveries.clear();
    CFNotificationCenterPostNotification(darwin, "com.example.other", nullptr, nullptr, true);
    EXPECT_EQ(who(), std::vector<std::string>{"3"});
    deliveries.clear();
    CFNotificationCenterPostNotification(darwin, "com.example.nobody", nullptr, nullptr, true);
    EXPECT_TRUE(deliveries.empty());
}

// Tests that an observer added while a notification is being delivered is
// not called for that delivery, only for the next.
TEST_F(NotificationCenterTest, ObserversAddedDuringAPostWaitForTheNext) {
    add(local, addsAnotherObserver, "UIWindowDidRotateNotification");
    add(local, record<1>, "UIWindowDidRotateNotification");
    CFNotificationCenterPostNotification(local, "UIWindowDidRotateNotification", nullptr, nullptr, true);
    EXPECT_EQ(who(), (std::vector<std::string>{"adder", "1"}));
    deliveries.clear();
    CFNotificationCenterPostNotification(local, "UIWindowDidRotateNotification", nullptr, nullptr, true);
    EXPECT_EQ(who(), (std::vector<std::string>{"adder", "1", "9"}));
}

// Tests that the two centres are separate, that callbacks get their centre,
// observer and name back, and that Darwin notifications carry no payload.
TEST_F(NotificationCenterTest, CentresAreSeparateAndDarwinCarriesNoPayload) {
    int observerToken = 0, object = 0, info = 0;
    add(darwin, record<1>, "com.apple.springboard.screenchanged", &observerToken);
    add(local, record<2>, "com.apple.springboard.screenchanged", &observerToken);
    CFNotificationCenterPostNotification(darwin, "com.apple.springboard.screenchanged", &object, &info, true);
    ASSERT_EQ(who(), std::vector<std::string>{"1"});
    EXPECT_EQ(deliveries[0].center, darwin);
    EXPECT_EQ(deliveries[0].observer, &observerToken);
    EXPECT_EQ(deliveries[0].name, "com.apple.springboard.screenchanged");
    EXPECT_EQ(deliveries[0].object, nullptr);
    EXPECT_EQ(deliveries[0].userInfo, nullptr);

    deliveries.clear();
    CFNotificationCenterPostNotification(local, "com.apple.springboard.screenchanged", &object, &info, true);
    ASSERT_EQ(who(), std::vector<std::string>{"2"});
    EXPECT_EQ(deliveries[0].center, local);
    EXPECT_EQ(deliveries[0].object, &object);
    EXPECT_EQ(deliveries[0].userInfo, &info);
    EXPECT_NE(darwin, local);
}

// Tests the local centre's name wildcard and the requests that are ignored:
// a wildcard on the Darwin centre, a missing callback, an unknown centre.
TEST_F(NotificationCenterTest, WildcardsAndIgnoredRequests) {
    add(local, record<1>, nullptr);
    add(darwin, record<2>, nullptr);
    add(darwin, nullptr, "com.example.x");
    add(reinterpret_cast<CFNotificationCenterRef>(&deliveries), record<3>, "com.example.x");
    CFNotificationCenterPostNotification(local, "anything", nullptr, nullptr, true);
    CFNotificationCenterPostNotification(darwin, "com.example.x", nullptr, nullptr, true);
    CFNotificationCenterPostNotification(local, nullptr, nullptr, nullptr, true);
    EXPECT_EQ(who(), std::vector<std::string>{"1"});
}

// Tests that observers belong to the process: after a respring the same
// centre references work and have no observers.
TEST_F(NotificationCenterTest, RespringDropsObservers) {
    add(darwin, record<1>, "com.vorlak.floattilesprefs.settingschanged");
    Process::terminate();
    EXPECT_EQ(CFNotificationCenterGetDarwinNotifyCenter(), darwin);
    CFNotificationCenterPostNotification(darwin, "com.vorlak.floattilesprefs.settingschanged", nullptr, nullptr, true);
    EXPECT_TRUE(deliveries.empty());
    add(darwin, record<2>, "com.vorlak.floattilesprefs.settingschanged");
    CFNotificationCenterPostNotification(darwin, "com.vorlak.floattilesprefs.settingschanged", nullptr, nullptr, true);
    EXPECT_EQ(who(), std::vector<std::string>{"2"});
}
