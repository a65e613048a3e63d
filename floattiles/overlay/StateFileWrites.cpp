// The controller's two writes to the state file, the long-press menu's
// "Save Current Position" and its two ways of hiding the bubbles in the
// app in front: the store's copy is changed in step, so that the plugin
// reads what it wrote without reading the file again.
#include <string>

#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"
#include "settings/StateStore.h"
#include "springboard/PluginState.h"

void FTCustomViewController::savePosInPlist() {
    if (mybuttons.empty()) return;
    auto prefs = NSUserDefaults::initWithSuiteName(kStatePath);
    for (const auto& button : mybuttons) {
        // "POSAPPS-%@" of the bundle identifier, made straight into the
        // text the preferences daemon keeps (this runs once per bubble).
        const auto& bundle = button->getButtonBundleID();
        std::string key = kPositionPrefix;
        if (bundle) key += bundle->UTF8String();
        else key += "(null)";
        CGPoint c = button->center();
        auto position = NSMutableArray::arrayWithCapacity(2);
        position->addObject(NSNumber::numberWithFloat(narrowToFloat(c.x)));
        position->addObject(NSNumber::numberWithFloat(narrowToFloat(c.y)));
        prefs->setObjectForKey(position, std::move(key));
    }
}

void FTCustomViewController::setDictWithWriting(bool writeToStore) {
    // Before any app has come to the front there is no app to mark: a key
    // "HIDAPPS-(null)" would only litter the file.
    auto current = visibilityState().currentBundle;
    if (!current) return;
    auto key = NSString::stringWithFormat((std::string(kHiddenPrefix) + "%@").c_str(),
                                          static_cast<const NSObject*>(current.get()))
                   ->UTF8String();
    FTStateStore& store = stateStore();
    if (FTStateStore::truthOf(store.objectForKey(key))) return;
    store.setObjectForKey(NSNumber::numberWithInteger(1), key);
    if (writeToStore)
        NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(NSNumber::numberWithBool(true), key);
}
