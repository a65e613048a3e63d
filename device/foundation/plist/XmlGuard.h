// The check an XML property list passes before libplist 2.2.0 parses it:
// libplist recurses without bound on deep nesting, asserts on a
// dictionary key holding U+0000, and accepts a document cut short after
// its last value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace propertylist {

// Whether the markup stays within PropertyListLimits (depth, elements),
// holds no NUL (raw or as a character reference) and ends with </plist>.
bool xmlWithinLimits(const uint8_t* data, size_t size);

} // namespace propertylist
