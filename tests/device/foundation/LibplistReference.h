// libplist's own reading of a property list, the reference that the
// device's reader of binary lists is held to: a binary list that passes
// the device's validator (libplist must never see one that does not) is
// parsed by libplist into its tree, and the tree is made into Foundation
// values the way the device makes XML's, except that dates keep the exact
// double libplist holds. XML is read the device's way, which is
// libplist's already.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/PropertyList.h"

id parseThroughLibplist(const std::vector<uint8_t>& bytes, PropertyListFormat* format = nullptr);

// The root dictionary's keys in the order the file holds them, as libplist
// reads them (the device's dictionaries enumerate in their own order, so a
// file's order is only seen this way); empty when the file is no
// dictionary libplist reads.
std::vector<std::string> keysInFileOrder(const std::vector<uint8_t>& bytes);
