// The shared comparison of property-list values: if it answered "equal"
// too readily, every round-trip test and fuzz invariant built on it would
// pass for nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/PlistEquality.h"

namespace {

using C = PlistComparison;

// Tests that each way of comparing tells apart exactly what it names:
// number kinds, and dates that are not a number or of opposite zero; and
// that any other difference, however deep, is a difference.
TEST(PlistEquality, EachComparisonTellsApartWhatItNames) {
    const C readers{C::Numbers::BooleanApart, C::Dates::NaNAlike};
    auto one = NSNumber::numberWithInteger(1);
    auto oneReal = NSNumber::numberWithDouble(1.0);
    auto yes = NSNumber::numberWithBool(true);
    EXPECT_FALSE(plistEqual(one.get(), oneReal.get()));
    EXPECT_TRUE(plistEqual(one.get(), oneReal.get(), readers));
    EXPECT_FALSE(plistEqual(one.get(), yes.get(), readers));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto nanDate = std::make_shared<NSDate>(nan);
    auto nanDate2 = std::make_shared<NSDate>(nan);
    EXPECT_FALSE(plistEqual(nanDate.get(), nanDate2.get()));
    EXPECT_TRUE(plistEqual(nanDate.get(), nanDate2.get(), readers));
    EXPECT_TRUE(plistEqual(nanDate.get(), nanDate2.get(), {C::Numbers::SameKind, C::Dates::SameBits}));
    auto zero = std::make_shared<NSDate>(0.0);
    auto minusZero = std::make_shared<NSDate>(-0.0);
    EXPECT_TRUE(plistEqual(zero.get(), minusZero.get()));
    EXPECT_FALSE(plistEqual(zero.get(), minusZero.get(), {C::Numbers::SameKind, C::Dates::SameBits}));

    auto ab = std::make_shared<NSMutableDictionary>();
    ab->setObjectForKey(one, "a");
    ab->setObjectForKey(str("x"), "b");
    auto ac = std::make_shared<NSMutableDictionary>();
    ac->setObjectForKey(one, "a");
    ac->setObjectForKey(str("x"), "c");
    EXPECT_FALSE(plistEqual(ab.get(), ac.get(), readers)) << "a key of another name";

    auto deep = std::make_shared<NSMutableArray>();
    deep->addObject(ab);
    auto deeper = std::make_shared<NSMutableArray>();
    auto changed = std::make_shared<NSMutableDictionary>();
    changed->setObjectForKey(one, "a");
    changed->setObjectForKey(str("y"), "b");
    deeper->addObject(changed);
    for (C how : {C{}, readers, C{C::Numbers::SameKind, C::Dates::SameBits}}) {
        EXPECT_FALSE(plistEqual(deep.get(), deeper.get(), how));
        EXPECT_TRUE(plistEqual(deep.get(), deep.get(), how));
        EXPECT_FALSE(plistEqual(deep.get(), nullptr, how));
    }
}

} // namespace
