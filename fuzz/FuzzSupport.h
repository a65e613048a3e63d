// Helpers shared by the fuzz targets: failing loudly, comparing
// property-list values, reading files whole.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/Foundation.h"

namespace fuzz {

// A broken invariant: libFuzzer sees the abort as a crash and keeps the
// input. The message says which invariant.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

// Deep equality of property-list values. Numbers compare by value (a
// Boolean and the integer of the same value are different kinds, but
// readers treat them alike, so kinds are compared only between Booleans
// and the rest); NaN equals NaN, so a file holding NaN round-trips.
inline bool plistEqual(const NSObject* a, const NSObject* b) {
    if (!a || !b) return a == b;
    if (auto* s = dynamic_cast<const NSString*>(a)) {
        auto* t = dynamic_cast<const NSString*>(b);
        return t && s->UTF8String() == t->UTF8String();
    }
    if (auto* n = dynamic_cast<const NSNumber*>(a)) {
        auto* m = dynamic_cast<const NSNumber*>(b);
        if (!m) return false;
        bool nb = n->kind() == NSNumber::Kind::Bool, mb = m->kind() == NSNumber::Kind::Bool;
        if (nb != mb) return false;
        if (n->kind() == NSNumber::Kind::Real || m->kind() == NSNumber::Kind::Real) {
            double x = n->doubleValue(), y = m->doubleValue();
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        return n->isEqualToNumber(m);
    }
    if (auto* d = dynamic_cast<const NSData*>(a)) {
        auto* e = dynamic_cast<const NSData*>(b);
        return e && d->bytes() == e->bytes();
    }
    if (auto* d = dynamic_cast<const NSDate*>(a)) {
        auto* e = dynamic_cast<const NSDate*>(b);
        if (!e) return false;
        double x = d->timeIntervalSinceReferenceDate(), y = e->timeIntervalSinceReferenceDate();
        // A date that is not a number is kept as one, as a real is.
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    if (dynamic_cast<const NSNull*>(a)) return dynamic_cast<const NSNull*>(b) != nullptr;
    if (auto* x = dynamic_cast<const NSArray*>(a)) {
        auto* y = dynamic_cast<const NSArray*>(b);
        if (!y || x->count() != y->count()) return false;
        for (uint64_t i = 0; i < x->count(); ++i)
            if (!plistEqual(x->items()[i].get(), y->items()[i].get())) return false;
        return true;
    }
    if (auto* x = dynamic_cast<const NSDictionary*>(a)) {
        auto* y = dynamic_cast<const NSDictionary*>(b);
        if (!y || x->count() != y->count()) return false;
        for (const auto& [key, value] : x->entries())
            if (!plistEqual(value.get(), y->objectForKey(key).get())) return false;
        return true;
    }
    return false;
}

// Walks a value and everything inside it.
template <class Visit>
void visitValues(const NSObject* value, const Visit& visit) {
    if (!value) return;
    visit(value);
    if (auto* array = dynamic_cast<const NSArray*>(value))
        for (const auto& item : array->items()) visitValues(item.get(), visit);
    if (auto* dict = dynamic_cast<const NSDictionary*>(value))
        for (const auto& entry : dict->entries()) visitValues(entry.second.get(), visit);
}

// Whether a value holds something a format cannot carry, so that writing it
// is refused: NSNull (a keyed archive's UID, which nothing writes back), a
// date that is not finite, or for XML one outside the 32-bit whole seconds
// around 2001 that XML dates are read back in.
inline bool holdsUnwritable(const NSObject* value, bool forXML) {
    bool found = false;
    visitValues(value, [&](const NSObject* v) {
        if (dynamic_cast<const NSNull*>(v)) found = true;
        if (auto* d = dynamic_cast<const NSDate*>(v)) {
            double t = d->timeIntervalSinceReferenceDate();
            if (!std::isfinite(t) || (forXML && (t < -2147483648.0 || t >= 2147483647.0))) found = true;
        }
    });
    return found;
}

// Whether XML would keep less than the value holds: XML dates are whole
// seconds, so a fraction is lost on the way.
inline bool holdsFractionalDate(const NSObject* value) {
    bool found = false;
    visitValues(value, [&](const NSObject* v) {
        if (auto* d = dynamic_cast<const NSDate*>(v))
            if (d->timeIntervalSinceReferenceDate() != std::floor(d->timeIntervalSinceReferenceDate())) found = true;
    });
    return found;
}

// The bytes of a file on this machine; `exists` false when it cannot be
// opened.
inline std::vector<uint8_t> readBytes(const std::string& path, bool* exists = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (exists) *exists = static_cast<bool>(in);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace fuzz
