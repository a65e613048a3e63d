#include "sim/PlistJson.h"

#include "foundation/Foundation.h"
#include "sim/Base64.h"

Json plistToJson(const NSObject* value) {
    if (!value) return nullptr;
    if (dynamic_cast<const NSNull*>(value)) return nullptr;
    if (auto* s = dynamic_cast<const NSString*>(value)) return s->UTF8String();
    if (auto* n = dynamic_cast<const NSNumber*>(value)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool: return n->boolValue();
        case NSNumber::Kind::Integer: return n->integerValue();
        case NSNumber::Kind::Unsigned: return n->unsignedLongLongValue();
        case NSNumber::Kind::Real: {
            double d = n->doubleValue();
            if (!std::isfinite(d)) return nullptr;  // JSON has no infinities
            return d;
        }
        }
    }
    if (auto* d = dynamic_cast<const NSDictionary*>(value)) {
        Json obj = Json::object();
        for (const auto& [k, v] : d->entries()) obj[k] = plistToJson(v.get());
        return obj;
    }
    if (auto* a = dynamic_cast<const NSArray*>(value)) {
        Json arr = Json::array();
        for (const auto& v : a->items()) arr.push_back(plistToJson(v.get()));
        return arr;
    }
    if (auto* data = dynamic_cast<const NSData*>(value)) return "base64:" + base64(data->bytes());
    if (auto* date = dynamic_cast<const NSDate*>(value)) return date->timeIntervalSinceReferenceDate();
    return value->description();
}
