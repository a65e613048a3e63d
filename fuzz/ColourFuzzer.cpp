// Colour strings, fed any text: the input is the colour text, and after
// its first NUL byte (if any) the fallback text.
//
// What must hold:
//  - nothing crashes;
//  - a text that reads gives components within 0 and 1, and its "#rrggbb"
//    reads back to the same red, green and blue bytes;
//  - LCPParseColorString always gives a colour: the text's when it reads,
//    else the fallback's, else opaque black; the NSString form gives the
//    same, and nil counts as empty.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "colorpicker/libcolorpicker.h"

namespace {

bool unit(double v) { return std::isfinite(v) && v >= 0.0 && v <= 1.0; }

int byteOf(double component) { return static_cast<int>(std::lround(component * 255.0)); }

bool sameColour(const CGColor& a, const CGColor& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

CGColor expectedParse(const std::string& text, const std::string& fallback) {
    if (auto c = LCPColorFromString(text)) return *c;
    if (auto c = LCPColorFromString(fallback)) return *c;
    return CGColor{0, 0, 0, 1};
}

void checkReadable(const std::string& text) {
    auto colour = LCPColorFromString(text);
    if (!colour) return;
    fuzz::check(unit(colour->r) && unit(colour->g) && unit(colour->b) && unit(colour->a),
                "a colour component lies outside 0 to 1");
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", byteOf(colour->r), byteOf(colour->g), byteOf(colour->b));
    auto again = LCPColorFromString(hex);
    fuzz::check(again && byteOf(again->r) == byteOf(colour->r) && byteOf(again->g) == byteOf(colour->g) &&
                    byteOf(again->b) == byteOf(colour->b) && again->a == 1.0,
                "a colour's #rrggbb does not read back to it");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    std::string text = input.substr(0, nul);
    std::string fallback = nul == std::string::npos ? "#fffefe" : input.substr(nul + 1);

    checkReadable(text);
    checkReadable(fallback);
    auto parsed = LCPParseColorString(text, fallback);
    fuzz::check(parsed != nullptr, "no colour for a text");
    fuzz::check(sameColour(parsed->components(), expectedParse(text, fallback)),
                "the parsed colour is neither the text's, the fallback's nor black");
    NSString object(text);
    auto viaObject = LCPParseColorString(&object, fallback);
    fuzz::check(viaObject && sameColour(viaObject->components(), parsed->components()),
                "an NSString gives another colour than its text");
    auto viaNil = LCPParseColorString(static_cast<const NSString*>(nullptr), fallback);
    fuzz::check(viaNil && sameColour(viaNil->components(), expectedParse("", fallback)),
                "nil does not count as an empty text");
    return 0;
}
