// Helpers for libplist 2.2.0's trees, shared by the XML bridge, the binary
// writer and the merge of keys: ownership of a tree, walks over arrays and
// dictionaries, and the sign of an integer node.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace propertylist {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

// True when an integer node came from a 16-byte binary integer or an XML
// number above INT64_MAX: see the note on integers in LibplistBridge.h.
inline bool isUnsignedNode(plist_t node, uint64_t value) {
    if (value <= static_cast<uint64_t>(INT64_MAX)) return false;
    PlistOwner plain(plist_new_uint(value));
    return !plist_compare_node_value(node, plain.get());
}

// An array's items in order, while f answers true; answers whether f
// never answered false. (Asking for item i walks the list from the start
// in libplist 2.2.0; the iterator does not.)
template <class F>
bool forEachItem(plist_t array, F&& f) {
    plist_array_iter it = nullptr;
    plist_array_new_iter(array, &it);
    if (!it) return true;
    bool ok = true;
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, it, &item);
        if (!item) break;
        if (!(ok = f(item))) break;
    }
    std::free(it);
    return ok;
}

// A dictionary's keys (nil for a key libplist cannot give) and values in
// order, while f answers true; answers whether f never answered false.
template <class F>
bool forEachEntry(plist_t dict, F&& f) {
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    if (!it) return true;
    bool ok = true;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        ok = f(static_cast<const char*>(key), value);
        std::free(key);
        if (!ok) break;
    }
    std::free(it);
    return ok;
}

} // namespace propertylist
