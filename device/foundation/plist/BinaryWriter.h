// The device's writer of binary property lists.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <vector>

namespace propertylist {

// Writes a libplist tree as a binary list into out, as libplist would
// write it, in time linear in the objects. False for a tree deeper than
// the limits or holding a node it cannot write.
bool writeBinary(plist_t root, std::vector<uint8_t>& out);

} // namespace propertylist
