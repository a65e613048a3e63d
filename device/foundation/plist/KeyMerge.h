// Setting keys in a dictionary's libplist tree: what the preferences
// daemon does to the copy of a file it keeps, and what
// PropertyList::setValuesForKeys does to a serialised list.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "foundation/PropertyList.h"
#include "foundation/plist/LibplistNodes.h"

namespace propertylist {

// The tree of a serialised dictionary list and its format; null when the
// bytes are no dictionary list within the limits (the format is then left
// as it was).
PlistOwner dictionaryTree(const std::vector<uint8_t>& list, PropertyListFormat& format);

// Whether some key stands in the dictionary more than once, and the
// dictionary as readers see it: each key once, in the place where it
// first stands, with the value it last has.
bool hasDuplicateKeys(plist_t dict);
PlistOwner withoutDuplicateKeys(plist_t dict);

// Sets (or, for a null value, removes) each key in turn. False when a key
// is not plain text or a value has no property-list form in `format`; the
// keys before it are then set already. root may be replaced by a copy
// without duplicate keys.
bool setKeysInTree(PlistOwner& root, const std::vector<std::pair<std::string, const NSObject*>>& changes,
                   PropertyListFormat format);

} // namespace propertylist
