#include "device/foundation/LibplistReference.h"

#include <plist/plist.h>

#include <cstring>
#include <optional>
#include <string>

#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/BinaryValidator.h"
#include "foundation/plist/LibplistNodes.h"
#include "foundation/plist/Utf8.h"

using namespace propertylist;

namespace {

// libplist keeps the double a binary date holds but hands out only whole
// seconds and a fraction; its binary writer writes the double itself, so a
// one-object list of the node gives it back to the bit.
std::optional<double> exactSeconds(plist_t node) {
    PlistOwner copy(plist_copy(node));
    char* buffer = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &buffer, &length);
    std::optional<double> seconds;
    if (buffer && length >= kBinaryMagicLength + 9 && static_cast<uint8_t>(buffer[kBinaryMagicLength]) == 0x33) {
        uint64_t bits = readBigEndian(reinterpret_cast<const uint8_t*>(buffer) + kBinaryMagicLength + 1, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        seconds = d;
    }
    if (buffer) plist_to_bin_free(buffer);
    return seconds;
}

id nodeToValue(plist_t node, int depth) {
    if (!node || depth > PropertyListLimits::maxDepth) return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return NSNumber::numberWithBool(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        if (isUnsignedNode(node, u)) return NSNumber::numberWithUnsignedLongLong(u);
        return NSNumber::numberWithInteger(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return NSNumber::numberWithDouble(d);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        if (!s) return std::make_shared<NSString>();
        if (!isValidUTF8(s, length)) return nullptr;
        return std::make_shared<NSString>(std::string(s, length));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        if (!p || length == 0) return std::make_shared<NSData>();
        return std::make_shared<NSData>(std::vector<uint8_t>(p, p + length));
    }
    case PLIST_DATE: {
        auto seconds = exactSeconds(node);
        return seconds ? std::make_shared<NSDate>(*seconds) : nullptr;
    }
    case PLIST_UID:
        return NSNull::null();
    case PLIST_ARRAY: {
        auto array = std::make_shared<NSMutableArray>();
        bool ok = forEachItem(node, [&](plist_t itemNode) {
            id item = nodeToValue(itemNode, depth + 1);
            if (!item) return false;
            array->addObject(std::move(item));
            return true;
        });
        return ok ? id(array) : nullptr;
    }
    case PLIST_DICT: {
        auto dict = std::make_shared<NSMutableDictionary>();
        bool ok = forEachEntry(node, [&](const char* key, plist_t value) {
            std::string k = key ? key : "";
            id item = isValidUTF8(k.data(), k.size()) ? nodeToValue(value, depth + 1) : nullptr;
            if (!item) return false;
            dict->setObjectForKey(std::move(item), k);
            return true;
        });
        return ok ? id(dict) : nullptr;
    }
    default:
        return nullptr;
    }
}

} // namespace

id parseThroughLibplist(const std::vector<uint8_t>& bytes, PropertyListFormat* format) {
    if (bytes.empty() || bytes.size() > PropertyListLimits::maxBytes || !hasBinaryMagic(bytes))
        return PropertyList::parse(bytes, format);
    BinaryValidator binary(bytes.data(), bytes.size());
    if (!binary.validate()) return nullptr;
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
    PlistOwner tree(root);
    id value = nodeToValue(root, 1);
    if (value && format) *format = PropertyListFormat::Binary;
    return value;
}
