#include "settings/StateStore.h"

#include <cmath>

#include "PluginState.h"
#include "button/UIButtonFT.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"

FTStateStore& stateStore() {
    static FTStateStore store;
    return store;
}

std::optional<std::string> FTStateStore::familyBundle(const std::string& key, const char* prefix) {
    NSString text(key);
    NSRange r = text.rangeOfString(prefix, NSBackwardsSearch);
    if (r.location == NSNotFound) return std::nullopt;
    return key.substr(r.location + r.length);
}

bool FTStateStore::truthOf(const id& value) { return readBool(value.get()).value_or(false); }

void FTStateStore::load() {
    reset();
    dict_ = dictionaryWithContentsOfFile(kStatePath);
    if (!dict_) return;
    for (const auto& [key, value] : dict_->entries()) indexKey(key, value, +1);
}

void FTStateStore::reset() {
    dict_.reset();
    hiddenCount_.clear();
    keysVisited_ = 0;
}

void FTStateStore::indexKey(const std::string& key, const id& value, int delta) {
    if (!truthOf(value)) return;
    auto bundle = familyBundle(key, kHiddenPrefix);
    if (!bundle) return;
    auto& count = hiddenCount_[*bundle];
    count = static_cast<uint32_t>(static_cast<int64_t>(count) + delta);
    if (count == 0) hiddenCount_.erase(*bundle);
}

void FTStateStore::setObjectForKey(const id& value, const std::string& key) {
    if (!dict_) return;
    indexKey(key, dict_->objectForKey(key), -1);
    dict_->setObjectForKey(value, key);
    indexKey(key, value, +1);
}

bool FTStateStore::isHiddenApp(const std::string& bundle) const {
    ++keysVisited_;
    return hiddenCount_.count(bundle) != 0;
}

// ---- the controller's two writers ----

void FTCustomViewController::savePosInPlist() {
    if (mybuttons.empty()) return;
    for (const auto& button : mybuttons) {
        auto key = NSString::stringWithFormat("POSAPPS-%@", static_cast<const NSObject*>(button->getButtonBundleID().get()));
        CGPoint c = button->center();
        auto position = NSMutableArray::arrayWithCapacity(2);
        position->addObject(NSNumber::numberWithFloat(narrowToFloat(c.x)));
        position->addObject(NSNumber::numberWithFloat(narrowToFloat(c.y)));
        NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(position, key->UTF8String());
    }
}

void FTCustomViewController::setDictWithWriting(bool writeToStore) {
    // Before any app has come to the front there is no app to mark: a key
    // "HIDAPPS-(null)" would only litter the file.
    auto current = visibilityState().currentBundle;
    if (!current) return;
    auto key = NSString::stringWithFormat("HIDAPPS-%@", static_cast<const NSObject*>(current.get()))->UTF8String();
    FTStateStore& store = stateStore();
    if (FTStateStore::truthOf(store.objectForKey(key))) return;
    store.setObjectForKey(NSNumber::numberWithInteger(1), key);
    if (writeToStore) NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(NSNumber::numberWithBool(true), key);
}
