// Colour strings: the forms that read, the ones that do not, and the
// fallback chain down to opaque black.
#include <gtest/gtest.h>

#include "colorpicker/libcolorpicker.h"

namespace {

CGColor rgb(int r, int g, int b, double a = 1.0) { return CGColor{r / 255.0, g / 255.0, b / 255.0, a}; }

} // namespace

// Tests the accepted forms, in either case, with optional alpha and white
// space around.
TEST(ColorStrings, AcceptedForms) {
    EXPECT_EQ(LCPColorFromString("#ff0000"), rgb(255, 0, 0));
    EXPECT_EQ(LCPColorFromString("#fffefe"), rgb(255, 254, 254));
    EXPECT_EQ(LCPColorFromString("#FfA500"), rgb(255, 165, 0));
    EXPECT_EQ(LCPColorFromString("0a1B2c"), rgb(10, 27, 44));
    EXPECT_EQ(LCPColorFromString("#f80"), rgb(255, 136, 0));
    EXPECT_EQ(LCPColorFromString("#ABC"), rgb(170, 187, 204));
    EXPECT_EQ(LCPColorFromString("#00ff00:0.5"), rgb(0, 255, 0, 0.5));
    EXPECT_EQ(LCPColorFromString("#fff:.25"), rgb(255, 255, 255, 0.25));
    EXPECT_EQ(LCPColorFromString("000000:1"), rgb(0, 0, 0, 1.0));
    EXPECT_EQ(LCPColorFromString("#123456:0"), rgb(0x12, 0x34, 0x56, 0.0));
    EXPECT_EQ(LCPColorFromString("#123456:1."), rgb(0x12, 0x34, 0x56, 1.0));
    EXPECT_EQ(LCPColorFromString("  #00ff00\n"), rgb(0, 255, 0));
}

// Tests texts that cannot be read: wrong lengths, non-hex digits, names,
// bad or out-of-range alpha, inner white space.
TEST(ColorStrings, UnreadableTexts) {
    for (const char* bad : {"", "   ", "#", "#ff00", "#ff00000", "#gg0000", "fff", "ff00", "red", "#ff 000",
                            "##ff0000", "#ff0000:", "#ff0000:1.5", "#ff0000:-0.1", "#ff0000:abc", "#ff0000:0.5:1",
                            "#ff0000 :0.5", "#ff0000:1e-1", "#ff0000:.", "#ffff0000", ":0.5", "0xff0000"})
        EXPECT_FALSE(LCPColorFromString(bad)) << '"' << bad << '"';
}

// Tests the fallback chain: the text, else the fallback text, else black;
// an absent string takes the fallback.
TEST(ColorStrings, FallbackChain) {
    EXPECT_EQ(LCPParseColorString("#00ff00", "#ff0000")->components(), rgb(0, 255, 0));
    EXPECT_EQ(LCPParseColorString("", "#fffefe")->components(), rgb(255, 254, 254));
    EXPECT_EQ(LCPParseColorString("bogus", "#ff0000")->components(), rgb(255, 0, 0));
    EXPECT_EQ(LCPParseColorString("bogus", "also bogus")->components(), rgb(0, 0, 0));
    EXPECT_EQ(LCPParseColorString(static_cast<const NSString*>(nullptr), "#ff0000")->components(), rgb(255, 0, 0));
    NSString text("#0000ff:0.5");
    EXPECT_EQ(LCPParseColorString(&text, "#ff0000")->components(), rgb(0, 0, 255, 0.5));
    NSString empty("");
    EXPECT_EQ(LCPParseColorString(&empty, "#fffefe")->components(), rgb(255, 254, 254));
    // Each call reads its text afresh.
    auto a = LCPParseColorString("#010203", "#000000");
    auto b = LCPParseColorString("#040506", "#000000");
    EXPECT_NE(a, b);
    EXPECT_EQ(a->components(), rgb(1, 2, 3));
    EXPECT_EQ(b->components(), rgb(4, 5, 6));
}
