// The state-store loader, fed any bytes as the state file.
//
// Each input is one life of the home screen on a fresh device with three
// apps installed: the bytes become the state file, the plugin loads and
// launches, an app comes to the front, badges change, the screen turns, a
// bubble is tapped; then the plugin's own two writes to this file (save
// positions, blacklist the app in front), through the long-press menu when
// there is a bubble, else by the controller directly; then a respring.
//
// What must hold:
//  - nothing crashes, hangs or leaks;
//  - the bubbles are the chosen apps ("FLTTILE-" anywhere in a key, the
//    bundle after its last occurrence, a true value, an installed app with
//    an icon), in the file's key order;
//  - the app in front is hidden exactly when a true "HIDAPPS-" key names
//    it;
//  - the file is unchanged byte for byte unless the plugin wrote it; it
//    writes only over a file it could read, and then every key it did not
//    write keeps its value, and the next start builds the same bubbles.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzPlugin.h"
#include "FuzzSupport.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"
#include "runtime/Process.h"
#include "settings/StateStore.h"
#include "springboard/PluginState.h"
#include "springboard/Startup.h"

namespace {

const std::vector<InstalledApp> kApps = {
    {"com.example.a", true, NSNumber::numberWithInteger(3), 1},
    {"com.example.b", true, str("7"), 1},
    {"com.example.c", false, nullptr, 1},
    {"com.example.d", true, nullptr, 4},
};

bool installedWithIcon(const std::string& bundle) {
    for (const auto& app : kApps)
        if (app.bundleIdentifier == bundle) return app.hasIcon;
    return false;
}

// The bundles that must get a bubble, in order.
std::vector<std::string> expectedBubbles(const NSDictionary* file) {
    std::vector<std::string> out;
    if (!file) return out;
    for (const auto& [key, value] : file->entries()) {
        auto bundle = FTStateStore::familyBundle(key, kChosenPrefix);
        if (bundle && FTStateStore::truthOf(value) && installedWithIcon(*bundle)) out.push_back(*bundle);
    }
    return out;
}

bool hiddenByFile(const NSDictionary* file, const std::string& bundle) {
    if (!file) return false;
    for (const auto& [key, value] : file->entries()) {
        auto b = FTStateStore::familyBundle(key, kHiddenPrefix);
        if (b && *b == bundle && FTStateStore::truthOf(value)) return true;
    }
    return false;
}

std::vector<std::string> bubbleBundles() {
    std::vector<std::string> out;
    for (const auto& b : fuzz::bubbles()) out.push_back(b->getButtonBundleID() ? b->getButtonBundleID()->UTF8String() : "");
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> original(data, data + size);
    fuzz::freshDevice();
    fuzz::writeDeviceFile(kStatePath, original);

    auto before = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(original));
    std::vector<std::string> want = expectedBubbles(before.get());

    fuzz::bootPlugin(kApps);
    fuzz::launch();
    fuzz::check(bubbleBundles() == want, "the bubbles are not the chosen apps in file order");
    fuzz::checkPluginInvariants();

    fuzz::frontApp("com.example.a");
    fuzz::check(visibilityState().isCurrentlyHidden == hiddenByFile(before.get(), "com.example.a"),
                "the app in front is hidden or shown against its hide flag");
    fuzz::setBadge("com.example.a", NSNumber::numberWithInteger(120));
    fuzz::setBadge("com.example.b", str("12abc"));
    fuzz::rotate(4);
    fuzz::rotate(1);
    fuzz::tapBubble(0);
    fuzz::wait(3);
    fuzz::checkPluginInvariants();

    // The plugin's own writes. Which keys they write: a position per
    // bubble, and the hide flag of the app in front unless memory already
    // holds it true.
    std::set<std::string> written;
    if (!stateStore().objectForKey("HIDAPPS-com.example.a") ||
        !FTStateStore::truthOf(stateStore().objectForKey("HIDAPPS-com.example.a")))
        written.insert("HIDAPPS-com.example.a");
    for (const auto& bundle : bubbleBundles()) written.insert("POSAPPS-" + bundle);
    if (!fuzz::bubbles().empty() && !visibilityState().isCurrentlyHidden) {
        fuzz::frontHome();
        fuzz::longPressAndPick(0, "Save Current Position");
        fuzz::frontApp("com.example.a");
        fuzz::longPressAndPick(0, "Add Current App To Blacklist");
    } else if (auto* c = fuzz::controller()) {
        c->savePosInPlist();
        c->setDictWithWriting(true);
    }
    fuzz::checkPluginInvariants();

    bool exists = false;
    std::vector<uint8_t> after = fuzz::readDeviceFile(kStatePath, &exists);
    fuzz::check(exists, "the state file is gone");
    // A file the preferences daemon cannot read counts as empty: a write
    // replaces it with what was written, and nothing else.
    if (!before && !original.empty() && after == original) return 0;
    auto now = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(after));
    fuzz::check(now != nullptr, "the plugin's writes left a state file that does not read");
    if (before) {
        for (const auto& [key, value] : before->entries())
            if (!written.count(key))
                fuzz::check(plistEqual(value.get(), now->objectForKey(key).get(), fuzz::kAsReadersSee),
                            "a write changed a key it did not own");
    }
    for (const auto& [key, value] : now->entries()) {
        if (before && before->objectForKey(key)) continue;
        fuzz::check(written.count(key) != 0, "a write added a key nobody asked for");
        if (key.rfind("POSAPPS-", 0) == 0) {
            auto centre = std::dynamic_pointer_cast<NSArray>(value);
            fuzz::check(centre && centre->count() == 2, "a saved position is not two numbers");
        }
    }

    // The next start builds the same bubbles: the writes touch positions
    // and hide flags only.
    auto reread = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(after));
    std::vector<std::string> wantAgain = expectedBubbles(reread.get());
    fuzz::check(wantAgain == want, "the plugin's writes changed the choice of apps");
    resetPluginState();
    Process::terminate();
    fuzz::bootPlugin(kApps);
    fuzz::launch();
    fuzz::check(bubbleBundles() == want, "a respring built other bubbles");
    fuzz::checkPluginInvariants();
    return 0;
}
