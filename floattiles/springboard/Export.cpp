// Hands the plugin's process-wide variables, its bubbles, what it read
// from its files and its settings table to springboard-sim for inspection
// (interfaces/PluginInspection.h). Reads only; changes nothing.
#include <string>
#include <vector>

#include "button/UIButtonFT.h"
#include "colorpicker/libcolorpicker.h"
#include "foundation/PropertyList.h"
#include "interfaces/PluginInspection.h"
#include "interfaces/PublicNames.h"
#include "overlay/CentreBounds.h"
#include "overlay/FTCustomViewController.h"
#include "overlay/bothVC.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIApplication.h"

namespace {

id boolean(bool b) { return NSNumber::numberWithBool(b); }
id integer(int64_t i) { return NSNumber::numberWithInteger(i); }
id real(double d) { return NSNumber::numberWithDouble(d); }
id text(const std::shared_ptr<NSString>& s) { return s ? id(s) : id(NSNull::null()); }
id text(const char* s) { return str(s); }

id texts(const std::vector<std::string>& list) {
    auto array = std::make_shared<NSMutableArray>();
    for (const auto& t : list) array->addObject(str(t));
    return array;
}

id variableValue(const FTSettings& s, const SettingDefinition& d) {
    if (d.flag) return boolean(s.*d.flag);
    if (d.number) return real(static_cast<double>(s.*d.number));
    return text(s.*d.colour);
}

// The apps a store offers bubble construction, in its order, and the apps
// its hide flags hide.
id storeReadings(const FTStateStore& store) {
    auto out = std::make_shared<NSMutableDictionary>();
    out->setObjectForKey(boolean(store.floatTilesDict() != nullptr), "loaded");
    out->setObjectForKey(texts(store.chosenBundles()), "chosen");
    out->setObjectForKey(texts(store.hiddenBundles()), "hidden");
    return out;
}

// Every key of the store in the hide family, by the app it names, whatever
// its value: what must go for the app to be off the blacklist at the next
// start.
id hideKeys(const FTStateStore& store) {
    auto out = std::make_shared<NSMutableDictionary>();
    auto dict = store.floatTilesDict();
    if (!dict) return out;
    for (const auto& [key, value] : dict->entries()) {
        auto bundle = FTStateStore::familyBundle(key, kHiddenPrefix);
        if (!bundle) continue;
        auto keys = std::dynamic_pointer_cast<NSMutableArray>(out->objectForKey(*bundle));
        if (!keys) {
            keys = std::make_shared<NSMutableArray>();
            out->setObjectForKey(keys, *bundle);
        }
        keys->addObject(str(key));
    }
    return out;
}

bool sameReading(const FTSettings& a, const FTSettings& b, const SettingDefinition& d) {
    if (d.flag) return a.*d.flag == b.*d.flag;
    if (d.number) return a.*d.number == b.*d.number;
    const auto& x = a.*d.colour;
    const auto& y = b.*d.colour;
    return x == y || (x && y && x->UTF8String() == y->UTF8String());
}

bool isDefault(const FTSettings& s, const SettingDefinition& d) {
    if (d.flag) return s.*d.flag == (d.defaultValue != 0);
    if (d.number) return static_cast<double>(s.*d.number) == d.defaultValue;
    return !(s.*d.colour);
}

// Every settings key as the plugin holds it now: its variable's value
// (`value`; for a colour also `drawn`, "#rrggbb", and `alpha` when it is not
// opaque), whether the file holds the key, and, where the file says
// something other than the plugin holds, `why`: the loader's own reading of
// the file's value, a key the file no longer holds, or a file changed since
// the loader last read it.
id settingReadings() {
    const FTSettings& now = settingsVariables();
    std::shared_ptr<NSDictionary> file = dictionaryWithContentsOfFile(kSettingsPath);
    auto out = std::make_shared<NSMutableDictionary>();
    for (const auto& d : settingDefinitions()) {
        auto row = std::make_shared<NSMutableDictionary>();
        row->setObjectForKey(variableValue(now, d), "value");
        if (d.colour) {
            const CGColor drawn = LCPParseColorString((now.*d.colour).get(), d.fallback)->components();
            row->setObjectForKey(str(drawn.hex()), "drawn");
            if (drawn.a != 1) row->setObjectForKey(real(drawn.a), "alpha");
        }
        id value = file ? file->objectForKey(d.key) : nullptr;
        row->setObjectForKey(boolean(value != nullptr), "inFile");
        std::string why;
        if (!value) {
            if (!isDefault(now, d))
                why = "not in the file: the plugin keeps what it read last until the home screen starts again";
        } else {
            // The loader's reading of the file as it stands, on a copy.
            FTSettings read = now;
            SettingReading reading = readSetting(d, value, read);
            why = sameReading(read, now, d)
                      ? settingReadingWords(d, reading)
                      : "changed in the file since the plugin read it: it reads the file again when told of a change";
        }
        if (!why.empty()) row->setObjectForKey(str(why), "why");
        out->setObjectForKey(row, d.key);
    }
    return out;
}

// What the plugin reads now, and what a start of the home screen would
// read from the state file as it stands: a store loaded afresh by the same
// code that loads it at boot.
id readings() {
    auto out = std::make_shared<NSMutableDictionary>();
    out->setObjectForKey(settingReadings(), "settings");
    out->setObjectForKey(storeReadings(stateStore()), "now");
    FTStateStore fresh;
    fresh.load();
    out->setObjectForKey(storeReadings(fresh), "nextRespring");
    out->setObjectForKey(hideKeys(fresh), "hideKeys");
    return out;
}

id settingDescription(const SettingDefinition& d) {
    auto out = std::make_shared<NSMutableDictionary>();
    out->setObjectForKey(text(d.key), "key");
    out->setObjectForKey(text(d.variable), "variable");
    std::string help = d.help;
    switch (d.kind) {
    case SettingKind::Boolean:
        out->setObjectForKey(text("boolean"), "type");
        out->setObjectForKey(boolean(d.defaultValue != 0), "default");
        break;
    case SettingKind::Number:
        out->setObjectForKey(text("number"), "type");
        out->setObjectForKey(real(d.defaultValue), "default");
        out->setObjectForKey(real(d.min), "min");
        out->setObjectForKey(real(d.max), "max");
        out->setObjectForKey(real(d.step), "step");
        out->setObjectForKey(text(d.unit), "unit");
        break;
    case SettingKind::Colour:
        // Absent by default: the plugin then draws the fallback.
        out->setObjectForKey(text("colour"), "type");
        out->setObjectForKey(NSNull::null(), "default");
        out->setObjectForKey(text(d.fallback), "fallback");
        help += std::string(" Default ") + d.fallback + ".";
        break;
    }
    out->setObjectForKey(text(d.group), "group");
    out->setObjectForKey(text(d.label), "label");
    out->setObjectForKey(str(help), "help");
    if (*d.note) out->setObjectForKey(text(d.note), "note");
    return out;
}

id description() {
    auto settings = std::make_shared<NSMutableArray>();
    for (const auto& d : settingDefinitions()) settings->addObject(settingDescription(d));
    auto groups = std::make_shared<NSMutableArray>();
    for (const char* group : kSettingGroups) groups->addObject(text(group));
    auto files = std::make_shared<NSMutableDictionary>();
    files->setObjectForKey(text(kSettingsPath), "settings");
    files->setObjectForKey(text(kStatePath), "state");
    auto prefixes = std::make_shared<NSMutableDictionary>();
    prefixes->setObjectForKey(text(kChosenPrefix), "chosen");
    prefixes->setObjectForKey(text(kPositionPrefix), "position");
    prefixes->setObjectForKey(text(kHiddenPrefix), "hidden");
    // What a page says of the bubbles it sees: which settings hide them at
    // the first home after a start, and the alpha of a dimmed bubble.
    auto firstHome = std::make_shared<NSMutableArray>();
    for (bool FTSettings::*flag : kFirstHomeHidingFlags)
        for (const auto& d : settingDefinitions())
            if (d.flag == flag) firstHome->addObject(text(d.key));
    auto rules = std::make_shared<NSMutableDictionary>();
    rules->setObjectForKey(firstHome, "firstHomeHides");
    rules->setObjectForKey(real(kDimAlpha03), "dimmedAlpha");
    auto out = std::make_shared<NSMutableDictionary>();
    out->setObjectForKey(settings, "settings");
    out->setObjectForKey(rules, "rules");
    out->setObjectForKey(groups, "groups");
    out->setObjectForKey(files, "files");
    out->setObjectForKey(prefixes, "prefixes");
    out->setObjectForKey(text(kSettingsChangedNotification), "settingsChanged");
    return out;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void SimInspectPlugin(PluginInspection* out) {
    if (!out) return;
    const FTSettings& s = settingsVariables();
    const FTOverlayState& o = overlayState();
    const FTVisibilityState& v = visibilityState();

    auto vars = std::make_shared<NSMutableDictionary>();
    auto set = [&](const char* name, id value) { vars->setObjectForKey(std::move(value), name); };
    for (const auto& d : settingDefinitions()) set(d.variable, variableValue(s, d));

    set("isOverlayCreated", boolean(o.isOverlayCreated));
    set("objSharedInstance", boolean(o.objSharedInstance != nullptr));
    set("sharedInstanceExist", boolean(bothVC::sharedInstanceExist()));
    set("screenWidth", real(static_cast<double>(o.screenWidth)));
    set("screenHeight", real(static_cast<double>(o.screenHeight)));
    set("oldOrientation", integer(o.oldOrientation));
    set("nextBubbleY", integer(o.nextBubbleY));
    set("myfinalbundle", text(o.myfinalbundle));
    set("mytimer", boolean(o.mytimer && o.mytimer->isValid()));
    set("isDragged", boolean(o.isDragged));
    // Not a variable: where a drag holds a bubble now, for a picture drawn
    // ahead of the plugin's own.
    if (o.isOverlayCreated) {
        const FTDragBounds b = dragBounds(host::frontMostAppOrientation());
        auto bounds = std::make_shared<NSMutableDictionary>();
        bounds->setObjectForKey(real(b.minX), "minX");
        bounds->setObjectForKey(real(b.maxX), "maxX");
        bounds->setObjectForKey(real(b.minY), "minY");
        bounds->setObjectForKey(real(b.maxY), "maxY");
        set("dragBounds", bounds);
    }
    set("idleCounter", integer(o.idleCounter));
    set("pendingLaunchBundleID", text(o.pendingLaunchBundleID));
    set("AVChosenButton", o.AVChosenButton ? text(o.AVChosenButton->getButtonBundleID()) : id(NSNull::null()));

    set("isCurrentlyHidden", boolean(v.isCurrentlyHidden));
    set("isHiddenBeforeCC", boolean(v.isHiddenBeforeCC));
    set("isHidingForCC", boolean(v.isHidingForCC));
    set("isCCPresented", boolean(v.isCCPresented));
    set("isPasscodeVisible", boolean(v.isPasscodeVisible));
    set("isFrontDisplayHandled", boolean(v.isFrontDisplayHandled));
    set("isFirstHomeHandled", boolean(v.isFirstHomeHandled));
    set("isInCall", boolean(v.isInCall));
    set("lastLockState", integer(v.lastLockState));
    set("currentBundle", text(v.currentBundle));

    auto dict = stateStore().floatTilesDict();
    set("floatTilesDict", dict ? id(dict) : id(NSNull::null()));

    out->variables = vars;
    out->readings = out->wantReadings ? readings() : nullptr;
    out->description = out->wantDescription ? description() : nullptr;
    out->bubbles.clear();
    if (o.objSharedInstance && o.objSharedInstance->mainView) {
        for (const auto& button : o.objSharedInstance->mainView->getbuttons()) {
            ExportedBubble bubble;
            if (auto bundle = button->getButtonBundleID()) bubble.bundle = bundle->UTF8String();
            bubble.view = button;
            bubble.badgeView = button->getBadgeView();
            bubble.badgeLabel = button->getBadgeLabel();
            bubble.currentBadgeValue = integer(button->getCurrentBadgeValue());
            out->bubbles.push_back(std::move(bubble));
        }
    }
}
