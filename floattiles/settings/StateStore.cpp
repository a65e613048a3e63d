#include "settings/StateStore.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/PropertyList.h"

FTStateStore& stateStore() {
    static FTStateStore store;
    return store;
}

// A backwards search of the key's text for the prefix, as rangeOfString
// with the backwards option does it: the prefix is plain ASCII, which never
// stands inside a multi-byte character, so the last occurrence in the bytes
// is the last occurrence in the text.
// (string_view::rfind compares the whole prefix at every position; looking
// at its first byte first is several times faster over a file of keys.)
std::optional<std::string_view> FTStateStore::familyBundleView(std::string_view key, std::string_view prefix) {
    if (prefix.empty() || prefix.size() > key.size()) return std::nullopt;
    const char first = prefix[0];
    const char* base = key.data();
    for (size_t at = key.size() - prefix.size() + 1; at-- > 0;) {
        if (base[at] == first && std::memcmp(base + at + 1, prefix.data() + 1, prefix.size() - 1) == 0)
            return key.substr(at + prefix.size());
    }
    return std::nullopt;
}

std::optional<std::string> FTStateStore::familyBundle(const std::string& key, const char* prefix) {
    auto view = familyBundleView(key, prefix);
    if (!view) return std::nullopt;
    return std::string(*view);
}

bool FTStateStore::truthOf(const id& value) { return readBool(value.get()).value_or(false); }

// Every family prefix is eight bytes that end in '-', so each occurrence
// ends at a '-': walking the dashes from the end finds the last occurrence
// of both prefixes at once, and a key with one dash (most of a file) is
// settled at its first.
FTStateStore::Families FTStateStore::chosenAndHidden(std::string_view key) {
    constexpr size_t kLength = 8;
    static_assert(std::char_traits<char>::length(kChosenPrefix) == kLength &&
                  std::char_traits<char>::length(kHiddenPrefix) == kLength);
    Families found;
    const char* base = key.data();
    size_t end = key.size();
    while (end >= kLength && !(found.chosen && found.hidden)) {
        const void* dash = ::memrchr(base + kLength - 1, '-', end - (kLength - 1));
        if (!dash) break;
        const size_t at = static_cast<size_t>(static_cast<const char*>(dash) - base) + 1 - kLength;
        if (!found.chosen && std::memcmp(base + at, kChosenPrefix, kLength) == 0) found.chosen = key.substr(at + kLength);
        if (!found.hidden && std::memcmp(base + at, kHiddenPrefix, kLength) == 0) found.hidden = key.substr(at + kLength);
        end = at + kLength - 1;
    }
    return found;
}

void FTStateStore::load() {
    reset();
    dict_ = dictionaryWithContentsOfFile(kStatePath);
    if (!dict_) return;
    for (const auto& [key, value] : dict_->entries()) {
        // The families first: most keys are saved positions, whose values
        // need no truth reading.
        auto [chosen, hidden] = chosenAndHidden(key);
        if ((!chosen && !hidden) || !truthOf(value)) continue;
        if (chosen) chosen_.emplace_back(*chosen);
        if (hidden) hiddenCount_.add(*hidden, +1);
    }
}

void FTStateStore::reset() {
    dict_.reset();
    hiddenCount_.clear();
    chosen_.clear();
    chosenStale_ = false;
}

void FTStateStore::indexKey(std::string_view key, const id& value, int delta) {
    if (familyBundleView(key, kChosenPrefix)) chosenStale_ = true;
    auto hidden = familyBundleView(key, kHiddenPrefix);
    if (hidden && truthOf(value)) hiddenCount_.add(*hidden, delta);
}

std::vector<std::string> FTStateStore::chosenBundles() const {
    if (!dict_) return {};
    if (!chosenStale_) return chosen_;
    std::vector<std::string> bundles;
    for (const auto& [key, value] : dict_->entries()) {
        auto bundle = familyBundleView(key, kChosenPrefix);
        if (bundle && truthOf(value)) bundles.emplace_back(*bundle);
    }
    return bundles;
}

void FTStateStore::setObjectForKey(const id& value, const std::string& key) {
    if (!dict_) return;
    indexKey(key, dict_->objectForKey(key), -1);
    dict_->setObjectForKey(value, key);
    indexKey(key, value, +1);
}

bool FTStateStore::isHiddenApp(const std::string& bundle) const {
    return hiddenCount_.contains(bundle);
}

std::vector<std::string> FTStateStore::hiddenBundles() const {
    std::vector<std::string> bundles = hiddenCount_.bundles();
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}
