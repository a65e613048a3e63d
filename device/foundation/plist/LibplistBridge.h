// The bridge between Foundation values and libplist 2.2.0's trees: how an
// XML list is read and written, and how values become the nodes that the
// binary writer and the merge of keys work on.
//
// libplist 2.2.0 trusts its input more than a device may: it recurses
// without bound on deep nesting, follows binary object references into
// cycles, copies a shared subobject once per reference, and checks binary
// offsets only loosely. So nothing reaches it unchecked: the size is
// capped and XML is scanned for its nesting depth and element count
// (XmlGuard) before libplist reads it. A binary list never reaches
// libplist's reader: it is validated object by object (BinaryValidator)
// and read by the device's own reader (BinaryReader), into Foundation
// values or, for the merge of keys, into libplist's nodes.
//
// Integers. libplist 2.2.0 keeps every integer as a uint64 (PLIST_UINT) and
// loses the sign: a binary list stores a negative integer as 8-byte two's
// complement, and XML "-5" is read into the same bits. Only a value above
// INT64_MAX that came from a 16-byte binary integer, or from an XML number
// too large for int64, is really unsigned; libplist marks those by the
// length of the node, which its public API exposes only through
// plist_compare_node_value (a 16-byte node differs from a plain node of the
// same value). So: a plain node is read as int64 (negative when its top bit
// is set), a 16-byte one as uint64. Writing mirrors this: an NSNumber above
// INT64_MAX is written as a 16-byte integer, so other readers see it
// unsigned as well.
//
// Strings. libplist keeps C strings, so a string holding U+0000 would be
// cut short (and as a dictionary key, abort the process): such input is
// refused, and such a string is never written.
//
// Dictionaries come back as NSMutableDictionary with the keys in the order
// of the file, so callers can change them and write them back unchanged
// otherwise.
//
// UID nodes (keyed-archiver references) have no Foundation value in this
// model: they read as NSNull, so the rest of such a file stays readable.
// NSNull cannot be serialised, so a file holding one is never rewritten
// (the preferences store refuses the write rather than drop the value).
//
// Dates. libplist 2.2.0 hands dates out as 32-bit whole seconds plus the
// magnitude of the fraction, and takes them in the same way: binary dates
// are therefore read from the file's bytes (BinaryReader) and written
// through a node that holds the exact double (newDateNode); XML dates are
// whole seconds within the 32-bit range around 2001.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/PropertyList.h"
#include "foundation/plist/LibplistNodes.h"

namespace propertylist {

// The tree of an XML list that passes the XML guard; null otherwise (or
// when libplist cannot parse it).
PlistOwner parseXmlTree(const std::vector<uint8_t>& bytes);

// How a date node's seconds since 2001 are taken: nullopt makes the whole
// value nil. The product reads XML dates, whole seconds (xmlDateSeconds);
// a test comparing with libplist's binary reading takes them exactly.
using DateReading = std::optional<double> (*)(plist_t node);
std::optional<double> xmlDateSeconds(plist_t node);

// The Foundation value of a tree from an XML list: nil when it holds text
// that is not UTF-8, nests too deep, or has a node with no value here.
id valueOfTree(plist_t root, DateReading readDate = xmlDateSeconds);

// A new tree for a value made of property-list types, standing `depth`
// levels down (1 for a list's top value); null if the value holds anything
// else, nests too deep, or cannot be carried by `format`. The caller owns
// the tree.
plist_t treeOfValue(const NSObject* value, int depth, PropertyListFormat format);

// An integer node of that value: a 16-byte one above INT64_MAX, so every
// reader sees it unsigned. The caller owns it.
plist_t newUnsignedNode(uint64_t value);

// A date node holding exactly the double whose bits are given, as
// libplist's binary reader makes it. The caller owns it.
plist_t dateNodeOfBits(uint64_t bits);

// A tree written in a format: binary by the device's writer, XML by
// libplist. False (out empty) when it cannot be written.
bool writeTree(plist_t root, PropertyListFormat format, std::vector<uint8_t>& out);

} // namespace propertylist
