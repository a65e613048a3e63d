// The one deep comparison of property-list values for the tests and the
// fuzz targets. What counts as the same differs by what is being checked,
// so the few choices are named: a round trip through the device's own
// formats must keep every kind, while a reader that treats an integer and
// a real of the same value alike only needs them to agree.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/Foundation.h"

struct PlistComparison {
    enum class Numbers {
        SameKind,     // an integer, a real and a Boolean are three kinds
        BooleanApart, // only a Boolean is apart; integers and reals compare by value
    };
    enum class Dates {
        SameValue, // equal instants (a date that is not a number equals nothing)
        NaNAlike,  // equal instants, or both not a number, as a real is kept
        SameBits,  // the same double to the bit: what a broken byte made stays itself
    };
    Numbers numbers = Numbers::SameKind;
    Dates dates = Dates::SameValue;
};

// Same types (mutability aside) and same values, as `how` counts them. A
// real that is not a number equals another that is not.
inline bool plistEqual(const NSObject* a, const NSObject* b, PlistComparison how = {}) {
    using C = PlistComparison;
    if (!a || !b) return a == b;
    if (auto* s = dynamic_cast<const NSString*>(a)) {
        auto* t = dynamic_cast<const NSString*>(b);
        return t && s->UTF8String() == t->UTF8String();
    }
    if (auto* n = dynamic_cast<const NSNumber*>(a)) {
        auto* m = dynamic_cast<const NSNumber*>(b);
        if (!m) return false;
        using Kind = NSNumber::Kind;
        bool real;
        if (how.numbers == C::Numbers::SameKind) {
            if (n->kind() != m->kind()) return false;
            real = n->kind() == Kind::Real;
        } else {
            if ((n->kind() == Kind::Bool) != (m->kind() == Kind::Bool)) return false;
            real = n->kind() == Kind::Real || m->kind() == Kind::Real;
        }
        if (!real) return n->isEqualToNumber(m);
        double x = n->doubleValue(), y = m->doubleValue();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    if (auto* d = dynamic_cast<const NSData*>(a)) {
        auto* e = dynamic_cast<const NSData*>(b);
        return e && d->bytes() == e->bytes();
    }
    if (auto* d = dynamic_cast<const NSDate*>(a)) {
        auto* e = dynamic_cast<const NSDate*>(b);
        if (!e) return false;
        double x = d->timeIntervalSinceReferenceDate(), y = e->timeIntervalSinceReferenceDate();
        switch (how.dates) {
        case C::Dates::SameValue:
            return x == y;
        case C::Dates::NaNAlike:
            return x == y || (std::isnan(x) && std::isnan(y));
        case C::Dates::SameBits:
            return std::memcmp(&x, &y, sizeof x) == 0;
        }
        return false;
    }
    if (dynamic_cast<const NSNull*>(a)) return dynamic_cast<const NSNull*>(b) != nullptr;
    if (auto* x = dynamic_cast<const NSArray*>(a)) {
        auto* y = dynamic_cast<const NSArray*>(b);
        if (!y || x->count() != y->count()) return false;
        for (uint64_t i = 0; i < x->count(); ++i)
            if (!plistEqual(x->objectAtIndex(i).get(), y->objectAtIndex(i).get(), how)) return false;
        return true;
    }
    if (auto* x = dynamic_cast<const NSDictionary*>(a)) {
        auto* y = dynamic_cast<const NSDictionary*>(b);
        if (!y || x->count() != y->count()) return false;
        // A dictionary keeps its keys sorted: the same keys stand in the
        // same places.
        for (size_t i = 0; i < x->entries().size(); ++i) {
            if (x->entries()[i].first != y->entries()[i].first) return false;
            if (!plistEqual(x->entries()[i].second.get(), y->entries()[i].second.get(), how)) return false;
        }
        return true;
    }
    return false;
}
