// The ways into property lists (see PropertyList.h); each concern has its
// own file under plist/: the text checks (Utf8.h), the XML guard
// (XmlGuard), the binary format's validation, reading and writing
// (BinaryValidator, BinaryReader, BinaryWriter), libplist's trees and XML
// (LibplistBridge), the merge of keys (KeyMerge) and files (FileIO).
#include "foundation/PropertyList.h"

#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/BinaryReader.h"
#include "foundation/plist/BinaryValidator.h"
#include "foundation/plist/LibplistBridge.h"

using namespace propertylist;

id PropertyList::parse(const std::vector<uint8_t>& bytes, PropertyListFormat* format) {
    if (bytes.empty() || bytes.size() > PropertyListLimits::maxBytes) return nullptr;
    // A binary list is read directly (see BinaryReader), XML through
    // libplist.
    if (hasBinaryMagic(bytes)) {
        BinaryValidator binary(bytes.data(), bytes.size());
        if (!binary.validate()) return nullptr;
        id value = readBinary(binary);
        if (value && format) *format = PropertyListFormat::Binary;
        return value;
    }
    PlistOwner root = parseXmlTree(bytes);
    if (!root) return nullptr;
    id value = valueOfTree(root.get());
    if (value && format) *format = PropertyListFormat::XML;
    return value;
}

bool PropertyList::serialize(const NSObject& value, PropertyListFormat format, std::vector<uint8_t>& out) {
    out.clear();
    PlistOwner root(treeOfValue(&value, 1, format));
    return root && writeTree(root.get(), format, out);
}
