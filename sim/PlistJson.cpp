#include "sim/PlistJson.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/Foundation.h"
#include "sim/Base64.h"
#include "uikit/UIColor.h"

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

std::string colorHex(const CGColor& color) {
    auto channel = [](double v) {
        if (!(v == v)) v = 0;
        v = std::min(1.0, std::max(0.0, v));
        return static_cast<int>(std::lround(v * 255));
    };
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", channel(color.r), channel(color.g), channel(color.b));
    return buf;
}
