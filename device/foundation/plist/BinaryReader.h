// The device's reader of binary property lists.
#pragma once

#include "foundation/Foundation.h"
#include "foundation/plist/BinaryValidator.h"

namespace propertylist {

// The value a binary list holds, read from a file that validate() has
// passed; nil where libplist 2.2.0 would refuse the list too.
id readBinary(const BinaryValidator& file);

} // namespace propertylist
