// The device's reader of binary property lists.
#pragma once

#include "foundation/Foundation.h"
#include "foundation/plist/BinaryValidator.h"
#include "foundation/plist/LibplistNodes.h"

namespace propertylist {

// The value a binary list holds, read from a file that validate() has
// passed; nil where libplist 2.2.0 would refuse the list too.
id readBinary(const BinaryValidator& file);

// The same reading as libplist's tree, for the merge of keys: the nodes
// libplist's binary reader would make of the same bytes, except that a key
// standing twice is there once, at its first place with its last value, as
// readBinary reads it. Null where readBinary answers nil.
PlistOwner readBinaryTree(const BinaryValidator& file);

} // namespace propertylist
