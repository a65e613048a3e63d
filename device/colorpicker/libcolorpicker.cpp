#include "colorpicker/libcolorpicker.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A plain decimal from 0 to 1: digits with an optional fraction, or a
// fraction alone (".5"). No sign, no exponent, no white space inside.
std::optional<double> parseAlpha(std::string_view s) {
    if (s.empty()) return std::nullopt;
    size_t digits = 0, point = 0;
    for (char c : s) {
        if (c == '.') ++point;
        else if (std::isdigit(static_cast<unsigned char>(c))) ++digits;
        else return std::nullopt;
    }
    if (digits == 0 || point > 1) return std::nullopt;
    double value = std::strtod(std::string(s).c_str(), nullptr);
    if (!(value >= 0.0 && value <= 1.0)) return std::nullopt;
    return value;
}

std::shared_ptr<UIColor> makeColor(const CGColor& c) { return std::make_shared<UIColor>(c.r, c.g, c.b, c.a); }

} // namespace

std::optional<CGColor> LCPColorFromString(const std::string& text) {
    std::string_view s = trim(text);
    std::string_view hex = s;
    std::optional<double> alpha = 1.0;
    if (size_t colon = s.find(':'); colon != std::string_view::npos) {
        hex = s.substr(0, colon);
        alpha = parseAlpha(s.substr(colon + 1));
        if (!alpha) return std::nullopt;
    }
    bool hash = !hex.empty() && hex.front() == '#';
    if (hash) hex.remove_prefix(1);
    if (!(hex.size() == 6 || (hash && hex.size() == 3))) return std::nullopt;
    int bytes[3];
    for (size_t i = 0; i < 3; ++i) {
        if (hex.size() == 6) {
            int hi = hexDigit(hex[2 * i]), lo = hexDigit(hex[2 * i + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            bytes[i] = hi * 16 + lo;
        } else {
            int d = hexDigit(hex[i]);
            if (d < 0) return std::nullopt;
            bytes[i] = d * 17;
        }
    }
    return CGColor{bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0, *alpha};
}

std::shared_ptr<UIColor> LCPParseColorString(const std::string& text, const std::string& fallback) {
    if (auto color = LCPColorFromString(text)) return makeColor(*color);
    if (auto color = LCPColorFromString(fallback)) return makeColor(*color);
    return makeColor(CGColor{0, 0, 0, 1});
}

std::shared_ptr<UIColor> LCPParseColorString(const NSString* text, const std::string& fallback) {
    return LCPParseColorString(text ? text->UTF8String() : std::string(), fallback);
}
