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
#include "tests/support/PlistEquality.h"

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

// How the targets compare property-list values: numbers by value (a
// Boolean and the integer of the same value are different kinds, but
// readers treat them alike, so kinds are compared only between Booleans
// and the rest); NaN equals NaN, so a file holding NaN round-trips.
inline constexpr PlistComparison kAsReadersSee{PlistComparison::Numbers::BooleanApart,
                                               PlistComparison::Dates::NaNAlike};

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
