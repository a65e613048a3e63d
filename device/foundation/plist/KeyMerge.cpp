// The merge of keys into a serialised dictionary, for the preferences
// store's writes.
#include <plist/plist.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "foundation/PropertyList.h"
#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/BinaryReader.h"
#include "foundation/plist/BinaryValidator.h"
#include "foundation/plist/KeyMerge.h"
#include "foundation/plist/LibplistBridge.h"
#include "foundation/plist/LibplistNodes.h"
#include "foundation/plist/Utf8.h"

namespace propertylist {

// libplist's tree of a list, and its format, when parse() reads the list;
// null otherwise. A list that parse() refuses (a text that is not UTF-8,
// say) is no list to any reader here. A binary list is read once, by the
// device's own reader, straight into the tree the merge rewrites; XML is
// libplist's to read, and its tree is checked by the device's reading of
// it.
PlistOwner dictionaryTree(const std::vector<uint8_t>& list, PropertyListFormat& format) {
    if (list.empty() || list.size() > PropertyListLimits::maxBytes) return nullptr;
    PlistOwner root;
    PropertyListFormat found = PropertyListFormat::Binary;
    if (hasBinaryMagic(list)) {
        BinaryValidator binary(list.data(), list.size());
        if (!binary.validate()) return nullptr;
        root = readBinaryTree(binary);
    } else {
        root = parseXmlTree(list);
        if (!root || !valueOfTree(root.get())) return nullptr;
        found = PropertyListFormat::XML;
    }
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return nullptr;
    format = found;
    return root;
}

namespace {

// Whether any of keys stands in the dictionary more than once: one walk,
// however many keys a write changes.
bool anyKeyTwice(plist_t dict, const std::vector<std::pair<std::string, const NSObject*>>& changes) {
    std::unordered_map<std::string_view, int> seen;
    for (const auto& change : changes) seen.emplace(change.first, 0);
    bool twice = false;
    forEachEntry(dict, [&](const char* key, plist_t) {
        if (!key) return true;
        auto it = seen.find(key);
        twice = it != seen.end() && ++it->second > 1;
        return !twice;
    });
    return twice;
}

} // namespace

PlistOwner withoutDuplicateKeys(plist_t dict) {
    PlistOwner merged(plist_new_dict());
    forEachEntry(dict, [&](const char* key, plist_t value) {
        if (key) plist_dict_set_item(merged.get(), key, plist_copy(value));
        return true;
    });
    return merged;
}

bool hasDuplicateKeys(plist_t dict) {
    std::unordered_set<std::string> seen;
    seen.reserve(plist_dict_get_size(dict));
    bool twice = false;
    forEachEntry(dict, [&](const char* key, plist_t) {
        twice = key && !seen.emplace(key).second;
        return !twice;
    });
    return twice;
}

bool setKeysInTree(PlistOwner& root, const std::vector<std::pair<std::string, const NSObject*>>& changes,
                   PropertyListFormat format) {
    for (const auto& change : changes)
        if (!isPlainText(change.first)) return false;
    // A key may stand in a list more than once (no writer makes such a list,
    // a damaged or hand-made one may); readers take its first place and its
    // last value. Changing one occurrence would leave readers with the old
    // value, so such a list is first made what readers see.
    if (anyKeyTwice(root.get(), changes)) root = withoutDuplicateKeys(root.get());
    for (const auto& [key, value] : changes) {
        if (value) {
            // The value sits one level below the root.
            plist_t node = treeOfValue(value, 2, format);
            if (!node) return false;
            plist_dict_set_item(root.get(), key.c_str(), node);
        } else {
            plist_dict_remove_item(root.get(), key.c_str());
        }
    }
    return true;
}

} // namespace propertylist

using namespace propertylist;

// The merge works on libplist's tree, not on Foundation values: the keys it
// does not touch are written back from the nodes they were read into,
// so nothing of theirs (UIDs, 16-byte integers, exact dates, key order in
// the file, text as it was) can change on the way.
bool PropertyList::setValueForKey(const std::vector<uint8_t>& list, const std::string& key, const NSObject* value,
                                  std::vector<uint8_t>& out, PropertyListFormat* format) {
    return setValuesForKeys(list, {{key, value}}, out, format);
}

bool PropertyList::setValuesForKeys(const std::vector<uint8_t>& list,
                                    const std::vector<std::pair<std::string, const NSObject*>>& changes,
                                    std::vector<uint8_t>& out, PropertyListFormat* format) {
    out.clear();
    PropertyListFormat found = PropertyListFormat::Binary;
    PlistOwner root = list.empty() ? PlistOwner(plist_new_dict()) : dictionaryTree(list, found);
    if (!root || !setKeysInTree(root, changes, found)) return false;
    if (!writeTree(root.get(), found, out)) return false;
    if (format) *format = found;
    return true;
}
