#include "foundation/plist/LibplistBridge.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "foundation/plist/BinaryFormat.h"
#include "foundation/plist/BinaryWriter.h"
#include "foundation/plist/Utf8.h"
#include "foundation/plist/XmlGuard.h"

namespace propertylist {

namespace {

// ---- libplist nodes to Foundation ----

// libplist 2.2.0 hands a date out as whole seconds truncated towards zero
// plus the magnitude of the fraction, losing the fraction's sign: the
// fraction takes the sign of the seconds (XML dates are whole seconds).
double dateSeconds(plist_t node) {
    int32_t sec = 0, usec = 0;
    plist_get_date_val(node, &sec, &usec);
    double fraction = std::fabs(static_cast<double>(usec)) / 1e6;
    return sec < 0 ? static_cast<double>(sec) - fraction : static_cast<double>(sec) + fraction;
}

id nodeToValue(plist_t node, int depth, DateReading readDate) {
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
    case PLIST_DATE:
    {
        std::optional<double> seconds = readDate(node);
        return seconds ? std::make_shared<NSDate>(*seconds) : nullptr;
    }
    case PLIST_UID:
        return NSNull::null();
    case PLIST_ARRAY: {
        auto array = std::make_shared<NSMutableArray>();
        bool ok = forEachItem(node, [&](plist_t itemNode) {
            id item = nodeToValue(itemNode, depth + 1, readDate);
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
            id item = isValidUTF8(k.data(), k.size()) ? nodeToValue(value, depth + 1, readDate) : nullptr;
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

// ---- Foundation to libplist nodes ----

} // namespace

plist_t newUnsignedNode(uint64_t value) {
    if (value <= static_cast<uint64_t>(INT64_MAX)) return plist_new_uint(value);
    // libplist 2.2.0 has no public call that makes a 16-byte integer; its
    // XML reader makes one for a number above INT64_MAX.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><integer>" +
                      std::to_string(value) + "</integer></plist>";
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
    return node;
}

// plist_new_date takes whole seconds and microseconds and would round;
// libplist's binary reader keeps the stored double, so the node is read
// from a one-object binary list.
plist_t dateNodeOfBits(uint64_t bits) {
    uint8_t file[kBinaryMagicLength + 9 + 1 + kTrailerLength] = {};
    std::memcpy(file, kBinaryMagic, kBinaryMagicLength);
    file[8] = 0x33;
    for (int i = 0; i < 8; ++i) file[9 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    file[17] = 8;                                           // the offset table: object 0 at 8
    uint8_t* trailer = file + 18;
    trailer[6] = 1;                                         // offset size
    trailer[7] = 1;                                         // reference size
    trailer[15] = 1;                                        // one object
    trailer[31] = 17;                                       // offset table at 17
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(file), sizeof file, &node);
    return node;
}

namespace {

// A date node holding exactly `seconds`. XML dates are whole seconds, and
// libplist reads them back only within the 32-bit range of seconds around
// 2001; a date outside it is refused for XML rather than written into
// something else.
plist_t newDateNode(double seconds, PropertyListFormat format) {
    if (!std::isfinite(seconds)) return nullptr;
    if (format == PropertyListFormat::XML &&
        (seconds < std::numeric_limits<int32_t>::min() || seconds >= std::numeric_limits<int32_t>::max()))
        return nullptr;
    uint64_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    return dateNodeOfBits(bits);
}

plist_t valueToNode(const NSObject* obj, int depth, PropertyListFormat format) {
    // The depth bound also ends a container that holds itself.
    if (!obj || depth > PropertyListLimits::maxDepth) return nullptr;
    if (auto* s = dynamic_cast<const NSString*>(obj)) {
        // libplist keeps C strings: a NUL would cut the text short.
        if (!isPlainText(s->UTF8String())) return nullptr;
        return plist_new_string(s->UTF8String().c_str());
    }
    if (auto* n = dynamic_cast<const NSNumber*>(obj)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool: return plist_new_bool(n->boolValue() ? 1 : 0);
        case NSNumber::Kind::Integer: return plist_new_uint(static_cast<uint64_t>(n->integerValue()));
        case NSNumber::Kind::Unsigned: return newUnsignedNode(n->unsignedLongLongValue());
        case NSNumber::Kind::Real: {
            // A single-precision number is written as the float it is, so
            // every reader sees the float32 value (the binary writer then
            // stores it in four bytes).
            double d = n->isSinglePrecision() ? static_cast<double>(n->floatValue()) : n->doubleValue();
            return plist_new_real(d);
        }
        }
        return nullptr;
    }
    if (auto* data = dynamic_cast<const NSData*>(obj)) {
        const auto& bytes = data->bytes();
        return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (auto* date = dynamic_cast<const NSDate*>(obj)) return newDateNode(date->timeIntervalSinceReferenceDate(), format);
    if (auto* array = dynamic_cast<const NSArray*>(obj)) {
        PlistOwner node(plist_new_array());
        for (const id& item : array->items()) {
            plist_t child = valueToNode(item.get(), depth + 1, format);
            if (!child) return nullptr;
            plist_array_append_item(node.get(), child);
        }
        return node.release();
    }
    if (auto* dict = dynamic_cast<const NSDictionary*>(obj)) {
        PlistOwner node(plist_new_dict());
        for (const auto& [key, value] : dict->entries()) {
            if (!isPlainText(key)) return nullptr;
            plist_t child = valueToNode(value.get(), depth + 1, format);
            if (!child) return nullptr;
            plist_dict_set_item(node.get(), key.c_str(), child);
        }
        return node.release();
    }
    return nullptr;
}

} // namespace

PlistOwner parseXmlTree(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || bytes.size() > PropertyListLimits::maxBytes) return nullptr;
    if (!xmlWithinLimits(bytes.data(), bytes.size())) return nullptr;
    plist_t root = nullptr;
    plist_from_xml(reinterpret_cast<const char*>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
    return PlistOwner(root);
}

std::optional<double> xmlDateSeconds(plist_t node) { return dateSeconds(node); }

id valueOfTree(plist_t root, DateReading readDate) { return nodeToValue(root, 1, readDate); }

plist_t treeOfValue(const NSObject* value, int depth, PropertyListFormat format) {
    return valueToNode(value, depth, format);
}

bool writeTree(plist_t root, PropertyListFormat format, std::vector<uint8_t>& out) {
    out.clear();
    if (format == PropertyListFormat::Binary) return writeBinary(root, out) && !out.empty();
    char* buffer = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &buffer, &length);
    if (!buffer) return false;
    out.assign(buffer, buffer + length);
    plist_to_xml_free(buffer);
    return !out.empty();
}

} // namespace propertylist
