#include "foundation/plist/XmlGuard.h"

#include <cctype>
#include <cstring>
#include <string>

#include "foundation/PropertyList.h"

namespace propertylist {

namespace {

bool startsWith(const uint8_t* p, const uint8_t* end, const char* text) {
    size_t n = std::strlen(text);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
}

const uint8_t* findText(const uint8_t* p, const uint8_t* end, const char* text) {
    size_t n = std::strlen(text);
    while (static_cast<size_t>(end - p) >= n) {
        if (std::memcmp(p, text, n) == 0) return p;
        ++p;
    }
    return nullptr;
}

// True when the text at p (just after "&#") is a character reference to
// U+0000, "&#0;" or "&#x00;" and the like.
bool isNulReference(const uint8_t* p, const uint8_t* end) {
    bool hex = p < end && (*p == 'x' || *p == 'X');
    if (hex) ++p;
    bool digits = false;
    for (; p < end && *p != ';'; ++p) {
        bool digit = hex ? std::isxdigit(*p) != 0 : std::isdigit(*p) != 0;
        if (!digit) return false;
        if (*p != '0') return false;
        digits = true;
    }
    return digits && p < end;
}

bool isXMLSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

// Walks the markup once, before libplist does:
//  - comments, CDATA sections, processing instructions and declarations
//    are skipped whole;
//  - <array> and <dict> open a level (not when self-closing), their end
//    tags close one; nesting deeper than maxDepth is refused, as are more
//    than maxNodes elements;
//  - a NUL, raw or as a character reference, is refused: libplist asserts
//    on a dictionary key that holds one;
//  - the document must end with </plist>: libplist 2.2.0 accepts a file cut
//    short after its last value, which is still a truncated file.
bool xmlWithinLimits(const uint8_t* data, size_t size) {
    if (std::memchr(data, 0, size)) return false;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    for (const uint8_t* amp = p; (amp = findText(amp, end, "&#")) != nullptr; amp += 2)
        if (isNulReference(amp + 2, end)) return false;
    int depth = 0;
    uint64_t elements = 0;
    bool closedPlist = false;
    while (p < end) {
        const uint8_t* lt = static_cast<const uint8_t*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (!lt) break;
        p = lt;
        if (startsWith(p, end, "<!--")) {
            const uint8_t* close = findText(p + 4, end, "-->");
            if (!close) return false;
            p = close + 3;
            continue;
        }
        if (startsWith(p, end, "<![CDATA[")) {
            const uint8_t* close = findText(p + 9, end, "]]>");
            if (!close) return false;
            p = close + 3;
            closedPlist = false;
            continue;
        }
        if (startsWith(p, end, "<?")) {
            const uint8_t* close = findText(p + 2, end, "?>");
            if (!close) return false;
            p = close + 2;
            continue;
        }
        if (startsWith(p, end, "<!")) {
            // A declaration ends, for this scan, at its first '>': a parser
            // that skips further (past an internal DTD subset) can only see
            // fewer levels than were counted here, never more.
            const uint8_t* gt = static_cast<const uint8_t*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
            if (!gt) return false;
            p = gt + 1;
            continue;
        }
        bool closing = p + 1 < end && p[1] == '/';
        const uint8_t* nameStart = p + (closing ? 2 : 1);
        const uint8_t* q = nameStart;
        while (q < end && *q != '>' && *q != '/' && !isXMLSpace(*q)) ++q;
        std::string name(reinterpret_cast<const char*>(nameStart), static_cast<size_t>(q - nameStart));
        const uint8_t* gt = static_cast<const uint8_t*>(std::memchr(q, '>', static_cast<size_t>(end - q)));
        if (!gt) return false;
        bool selfClosing = gt > nameStart && gt[-1] == '/';
        bool container = name == "array" || name == "dict";
        if (closing) {
            // A stray end tag must not buy depth for later levels.
            if (container && depth > 0) --depth;
        } else {
            if (++elements > PropertyListLimits::maxNodes) return false;
            if (container && !selfClosing && ++depth > PropertyListLimits::maxDepth) return false;
        }
        closedPlist = closing && name == "plist";
        p = gt + 1;
    }
    for (; p < end; ++p)
        if (!isXMLSpace(*p)) return false;
    return closedPlist;
}

} // namespace propertylist
