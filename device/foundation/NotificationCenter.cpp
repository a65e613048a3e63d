#include "foundation/NotificationCenter.h"

#include <vector>

#include "runtime/Process.h"

// A centre reference names a centre, it does not own one: the two
// references are fixed addresses for the life of the device, while the
// observers behind them belong to the process. A reference kept across a
// respring therefore still works, and finds the new process's (empty)
// observer lists.
struct __CFNotificationCenter {
    bool darwin;
};

namespace {

__CFNotificationCenter darwinCenter{true};
__CFNotificationCenter localCenter{false};

struct Observer {
    std::string name;  // empty: every name (local centre only)
    bool anyName = false;
    const void* observer = nullptr;
    CFNotificationCallback callback = nullptr;
};

struct NotificationCenters : ProcessComponent {
    std::vector<Observer> darwin;
    std::vector<Observer> local;
    std::vector<Observer>& of(CFNotificationCenterRef center) { return center->darwin ? darwin : local; }
    // Observers may hold plugin code: drop them before plugins unload.
    void shutdown() override {
        darwin.clear();
        local.clear();
    }
};

bool isKnown(CFNotificationCenterRef center) { return center == &darwinCenter || center == &localCenter; }

} // namespace

CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter() { return &darwinCenter; }
CFNotificationCenterRef CFNotificationCenterGetLocalCenter() { return &localCenter; }

// A NULL name observes every notification of the local centre; the Darwin
// centre has no such wildcard and ignores the request, as the platform's.
// The object filter and the suspension behaviour do not apply to a process
// that is never suspended and whose observers take any sender.
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callback, CFStringRef name, const void* /*object*/,
                                     CFNotificationSuspensionBehavior /*suspensionBehavior*/) {
    if (!isKnown(center) || !callback) return;
    if (!name && center->darwin) return;
    Observer entry;
    entry.anyName = name == nullptr;
    if (name) entry.name = name;
    entry.observer = observer;
    entry.callback = callback;
    Process::current().get<NotificationCenters>().of(center).push_back(std::move(entry));
}

// Observers run synchronously, in the order they were added. The list is
// taken when the post begins: an observer added by a callback waits for the
// next post. Darwin notifications carry no payload, so their observers get
// NULL object and user info whatever was posted.
void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name, const void* object,
                                          CFDictionaryRef userInfo, bool /*deliverImmediately*/) {
    if (!isKnown(center) || !name) return;
    std::vector<Observer> matching;
    for (const Observer& o : Process::current().get<NotificationCenters>().of(center))
        if (o.anyName || o.name == name) matching.push_back(o);
    if (center->darwin) {
        object = nullptr;
        userInfo = nullptr;
    }
    for (const Observer& o : matching)
        o.callback(center, const_cast<void*>(o.observer), name, object, userInfo);
}
