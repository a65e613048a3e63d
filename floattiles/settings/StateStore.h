// The state store: the state file's in-memory copy `floatTilesDict`, read
// once when the plugin loads. Three key families share it, each a prefix
// followed by a bundle identifier: "FLTTILE-" (the app has a bubble),
// "POSAPPS-" (its saved centre) and "HIDAPPS-" (hide the bubbles while it
// is in front).
//
// The front-app rule asks on every app switch whether any hide flag names
// the app; the file may hold many thousands of keys, so the store keeps,
// in step with the dictionary, how many true hide flags name each app.
// The answer is the one a walk over all keys would give. The chosen apps
// are found in the same single pass over the file's keys at load.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PublicNames.h"
#include "foundation/Foundation.h"
#include "settings/BundleCounts.h"

class FTStateStore {
public:
    // Fills floatTilesDict from the state file; absent when the file is
    // missing or not a dictionary property list.
    void load();
    void reset();

    std::shared_ptr<NSMutableDictionary> floatTilesDict() const { return dict_; }
    id objectForKey(const std::string& key) const { return dict_ ? dict_->objectForKey(key) : nullptr; }

    // Sets one key in memory (nothing when floatTilesDict is absent).
    void setObjectForKey(const id& value, const std::string& key);

    // Whether some key holds "HIDAPPS-" whose text after its last
    // occurrence is bundle, with a true value.
    bool isHiddenApp(const std::string& bundle) const;
    // Every bundle isHiddenApp answers true for, sorted.
    std::vector<std::string> hiddenBundles() const;

    // The bundle identifiers of the "FLTTILE-" keys whose value is true, in
    // the dictionary's order (a key naming an app twice gives it twice).
    std::vector<std::string> chosenBundles() const;

    // The bundle identifier of key in the family of prefix: the text after
    // the last occurrence of prefix anywhere in key.
    static std::optional<std::string> familyBundle(const std::string& key, const char* prefix);
    // The same, as a view into key, without copying: boot runs it on every
    // key of the file.
    static std::optional<std::string_view> familyBundleView(std::string_view key, std::string_view prefix);
    // Both families boot asks about, in one backwards pass over key.
    struct Families {
        std::optional<std::string_view> chosen, hidden;
    };
    static Families chosenAndHidden(std::string_view key);
    // A value's truth as `boolValue` reads it; values without a reading
    // (arrays, dictionaries, data, dates) count as false.
    static bool truthOf(const id& value);

private:
    void indexKey(std::string_view key, const id& value, int delta);
    std::shared_ptr<NSMutableDictionary> dict_;
    BundleCounts hiddenCount_;
    // The chosen apps as a walk over the keys would give them, taken in the
    // same pass as the hide flags; a change to a key that holds the prefix
    // makes the next request walk again.
    std::vector<std::string> chosen_;
    bool chosenStale_ = false;
};

FTStateStore& stateStore();
