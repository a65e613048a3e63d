// The text checks every path takes before text reaches or leaves
// libplist: UTF-8 that is well formed (no overlong forms, no surrogates,
// nothing above U+10FFFF), and text without U+0000 (libplist keeps C
// strings: a NUL would cut the text short, and as a dictionary key it
// aborts the process). And the one UTF-8 encoder, for the readers that
// meet text as code points (UTF-16 strings of a binary list, escapes in
// a scenario's file values).
//
// Inline: they run once per string of a list, on the reading and writing
// paths of files with a hundred thousand keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace propertylist {

inline bool isValidUTF8(const char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        if (cp >= 0xD800 && cp <= 0xDFFF) return false;
        i += extra + 1;
    }
    return true;
}

// Text libplist can carry whole: well-formed UTF-8 without U+0000.
inline bool isPlainText(const std::string& s) {
    return s.find('\0') == std::string::npos && isValidUTF8(s.data(), s.size());
}

// Appends one code point (at most U+10FFFF) as UTF-8; the caller has
// already refused what it must not carry.
inline void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace propertylist
