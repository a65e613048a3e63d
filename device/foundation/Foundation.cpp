#include "foundation/Foundation.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

size_t skipSpaces(const std::string& s, size_t i = 0) {
    while (i < s.size() && isSpace(s[i])) ++i;
    return i;
}

// The leading decimal number of s (after spaces): sign, digits, a fraction
// and an exponent. Empty when s does not begin with one.
std::string leadingDecimal(const std::string& s, bool allowFraction) {
    size_t i = skipSpaces(s);
    size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digitsStart = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    bool any = i > digitsStart;
    if (allowFraction && i < s.size() && s[i] == '.') {
        size_t f = i + 1;
        while (f < s.size() && std::isdigit(static_cast<unsigned char>(s[f]))) ++f;
        if (f > i + 1 || any) {
            any = any || f > i + 1;
            i = f;
        }
    }
    if (!any) return {};
    if (allowFraction && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
        size_t expDigits = e;
        while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
        if (e > expDigits) i = e;
    }
    return s.substr(start, i - start);
}

} // namespace

// ---- NSString ----

namespace {

// One printf conversion of one argument, however long its output.
template <class T>
std::string formatOne(const std::string& conversion, T value) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, conversion.c_str(), value);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), conversion.c_str(), value);
    out.resize(static_cast<size_t>(n));
    return out;
}

} // namespace

std::string NSString::formatV(const char* format, va_list args) {
    va_list ap;
    va_copy(ap, args);
    std::string out;
    // Room for the format and a typical argument, so that a short text is
    // built in one allocation.
    if (format) out.reserve(std::strlen(format) + 48);
    for (const char* p = format; p && *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        // One conversion: flags, width, precision, length, type. The conversion
        // handed to snprintf is rebuilt so that '*' becomes digits and the
        // platform's length letters (q, z, t, j) become C's.
        const char* start = p++;
        std::string conversion = "%";
        while (*p && std::strchr("-+ #0'", *p)) conversion += *p++;
        if (*p == '*') {
            conversion += std::to_string(va_arg(ap, int));
            ++p;
        } else {
            while (*p && std::isdigit(static_cast<unsigned char>(*p))) conversion += *p++;
        }
        if (*p == '.') {
            conversion += *p++;
            if (*p == '*') {
                int precision = va_arg(ap, int);
                // A negative precision counts as none.
                if (precision < 0) conversion.pop_back();
                else conversion += std::to_string(precision);
                ++p;
            } else {
                while (*p && std::isdigit(static_cast<unsigned char>(*p))) conversion += *p++;
            }
        }
        std::string length;
        while (*p && std::strchr("hlqzjtL", *p)) length += *p++;
        char type = *p;
        if (!type) {
            out.append(start);
            break;
        }
        bool wide = length == "ll" || length == "q";
        bool longArg = length == "l" || length == "z" || length == "t" || length == "j";
        switch (type) {
        case '%': out += '%'; break;
        case '@': {
            const NSObject* obj = va_arg(ap, const NSObject*);
            // A string's description is its text: appended without a copy.
            auto* string = dynamic_cast<const NSString*>(obj);
            if (string && conversion.size() == 1) {
                out += string->UTF8String();
                break;
            }
            std::string text = obj ? obj->description() : "(null)";
            out += conversion.size() == 1 ? text : formatOne(conversion + "s", text.c_str());
            break;
        }
        case 'd': case 'i':
            if (wide) out += formatOne(conversion + "ll" + type, va_arg(ap, long long));
            else if (longArg) out += formatOne(conversion + "l" + type, va_arg(ap, long));
            else out += formatOne(conversion + length + type, va_arg(ap, int));
            break;
        case 'u': case 'x': case 'X': case 'o':
            if (wide) out += formatOne(conversion + "ll" + type, va_arg(ap, unsigned long long));
            else if (longArg) out += formatOne(conversion + "l" + type, va_arg(ap, unsigned long));
            else out += formatOne(conversion + length + type, va_arg(ap, unsigned));
            break;
        case 'c':
            out += formatOne(conversion + "c", va_arg(ap, int));
            break;
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
            if (length == "L") out += formatOne(conversion + "L" + type, va_arg(ap, long double));
            else out += formatOne(conversion + type, va_arg(ap, double));
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            out += formatOne(conversion + "s", s ? s : "(null)");
            break;
        }
        case 'p':
            out += formatOne(conversion + "p", va_arg(ap, void*));
            break;
        case 'n':
            // Writing through a pointer taken from a format is never done.
            (void)va_arg(ap, void*);
            break;
        default:
            out.append(start, static_cast<size_t>(p - start + 1));
            break;
        }
    }
    va_end(ap);
    return out;
}

std::shared_ptr<NSString> NSString::stringWithFormat(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string out = formatV(format, ap);
    va_end(ap);
    return std::make_shared<NSString>(std::move(out));
}

NSRange NSString::rangeOfString(const std::string& needle, unsigned options) const {
    if (needle.empty() || needle.size() > value_.size()) return {NSNotFound, 0};
    size_t at = (options & NSBackwardsSearch) ? value_.rfind(needle) : value_.find(needle);
    if (at == std::string::npos) return {NSNotFound, 0};
    return {at, needle.size()};
}

std::shared_ptr<NSString> NSString::substringFromIndex(uint64_t index) const {
    if (index >= value_.size()) return std::make_shared<NSString>();
    return std::make_shared<NSString>(value_.substr(index));
}

// The platform's reading, as documented: leading white space, then an
// optional sign and any zeros are skipped, and "Y", "y", "T", "t" or a
// digit 1 to 9 reads as YES ("+Y", "-0t" and "+000009" among them).
// Everything else, "0.5" included (its first significant character is the
// point), reads as NO. Trailing text is ignored.
bool NSString::boolValue() const {
    size_t i = skipSpaces(value_);
    if (i < value_.size() && (value_[i] == '+' || value_[i] == '-')) ++i;
    while (i < value_.size() && value_[i] == '0') ++i;
    if (i >= value_.size()) return false;
    const char c = value_[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// The leading decimal integer after white space, 0 when there is none;
// values beyond the 64-bit range saturate, as the platform's scanner does.
int64_t NSString::integerValue() const {
    std::string digits = leadingDecimal(value_, false);
    if (digits.empty()) return 0;
    errno = 0;
    long long v = std::strtoll(digits.c_str(), nullptr, 10);
    return static_cast<int64_t>(v); // strtoll saturates at LLONG_MIN/MAX
}

int NSString::intValue() const {
    int64_t v = integerValue();
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// The leading decimal number after white space (sign, digits, fraction,
// exponent), 0 when there is none. Words such as "inf" or "nan" and
// hexadecimal forms are not numbers here, as for the platform's scanner.
double NSString::doubleValue() const {
    std::string number = leadingDecimal(value_, true);
    if (number.empty()) return 0.0;
    return std::strtod(number.c_str(), nullptr);
}

float NSString::floatValue() const { return narrowToFloat(doubleValue()); }

// ---- NSNumber ----

std::shared_ptr<NSNumber> NSNumber::numberWithBool(bool b) {
    return std::make_shared<NSNumber>(Kind::Bool, b ? 1 : 0, b ? 1 : 0, b ? 1.0 : 0.0, false);
}
std::shared_ptr<NSNumber> NSNumber::numberWithInteger(int64_t i) {
    return std::make_shared<NSNumber>(Kind::Integer, i, static_cast<uint64_t>(i), static_cast<double>(i), false);
}
std::shared_ptr<NSNumber> NSNumber::numberWithUnsignedLongLong(uint64_t u) {
    if (u <= static_cast<uint64_t>(INT64_MAX)) return numberWithInteger(static_cast<int64_t>(u));
    return std::make_shared<NSNumber>(Kind::Unsigned, static_cast<int64_t>(u), u, static_cast<double>(u), false);
}
std::shared_ptr<NSNumber> NSNumber::numberWithFloat(float f) {
    const double d = static_cast<double>(f);
    int64_t i = Value(d).intValue();
    return std::make_shared<NSNumber>(Kind::Real, i, static_cast<uint64_t>(i), d, true);
}
std::shared_ptr<NSNumber> NSNumber::numberWithDouble(double d) {
    int64_t i = Value(d).intValue();
    return std::make_shared<NSNumber>(Kind::Real, i, static_cast<uint64_t>(i), d, false);
}

// Any non-zero value is true: 0.5 reads as YES, as on the platform.
bool NSNumber::boolValue() const {
    switch (kind_) {
    case Kind::Real: return d_ != 0.0;
    case Kind::Unsigned: return u_ != 0;
    default: return i_ != 0;
    }
}

int64_t NSNumber::integerValue() const {
    if (kind_ == Kind::Real) return Value(d_).intValue();
    return i_;
}

uint64_t NSNumber::unsignedLongLongValue() const {
    if (kind_ == Kind::Unsigned) return u_;
    if (kind_ == Kind::Real) return d_ <= 0 ? 0 : Value(d_).uintValue();
    return static_cast<uint64_t>(i_);
}

double NSNumber::doubleValue() const {
    switch (kind_) {
    case Kind::Real: return d_;
    case Kind::Unsigned: return static_cast<double>(u_);
    default: return static_cast<double>(i_);
    }
}

bool NSNumber::isEqualToNumber(const NSNumber* other) const {
    if (!other) return false;
    if (kind_ == Kind::Real || other->kind_ == Kind::Real) return doubleValue() == other->doubleValue();
    // An Unsigned number lies above INT64_MAX, where no Integer or Bool can.
    if (kind_ == Kind::Unsigned || other->kind_ == Kind::Unsigned)
        return kind_ == other->kind_ && u_ == other->u_;
    return i_ == other->i_;
}

std::string NSNumber::description() const {
    char buf[64];
    switch (kind_) {
    case Kind::Bool: return i_ ? "1" : "0";
    case Kind::Unsigned: std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(u_)); return buf;
    case Kind::Integer: std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(i_)); return buf;
    case Kind::Real:
        std::snprintf(buf, sizeof buf, "%.*g", single_ ? 9 : 17, d_);
        return buf;
    }
    return {};
}

// ---- collections ----

std::shared_ptr<NSNull> NSNull::null() {
    static const std::shared_ptr<NSNull> instance = std::make_shared<NSNull>();
    return instance;
}

std::string NSArray::description() const {
    std::string s = "(";
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i) s += ", ";
        s += items_[i] ? items_[i]->description() : "(null)";
    }
    return s + ")";
}

std::shared_ptr<NSMutableArray> NSMutableArray::arrayWithCapacity(uint64_t capacity) {
    auto a = std::make_shared<NSMutableArray>();
    a->items_.reserve(static_cast<size_t>(std::min<uint64_t>(capacity, 1024)));
    return a;
}

void NSMutableArray::removeObjectAtIndex(uint64_t index) {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string NSDictionary::description() const {
    std::string s = "{";
    const auto& all = entries();
    for (size_t i = 0; i < all.size(); ++i) {
        if (i) s += "; ";
        s += all[i].first + " = " + (all[i].second ? all[i].second->description() : "(null)");
    }
    return s + "}";
}

namespace {

uint64_t keyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }

} // namespace

// The slot that holds key, or the free slot where it would go.
size_t NSDictionary::findSlot(std::string_view key, uint64_t hash) const {
    size_t mask = slots_.size() - 1;
    uint64_t fragment = hash << 32;
    for (size_t i = home(hash);; i = (i + 1) & mask) {
        uint64_t slot = slots_[i];
        if (slot == kNoEntry) return i;
        if ((slot & 0xFFFFFFFF00000000ull) != fragment) continue;
        auto at = static_cast<uint32_t>(slot);
        if (hashes_[at] == hash && entries_[at].first == key) return i;
    }
}

bool NSDictionary::rebuildIndex(size_t slotCount) {
    slots_.assign(slotCount, kNoEntry);
    unsigned bits = 0;
    while ((size_t{1} << bits) < slotCount) ++bits;
    shift_ = 64 - bits;
    // Positions in the order of their home slots: a counting sort on the
    // top bits, stable, so a key met again comes after its first place.
    unsigned bucketBits = std::min(bits, 16u);
    auto bucket = [&](uint64_t hash) { return bucketBits == 0 ? size_t{0} : static_cast<size_t>(hash >> (64 - bucketBits)); };
    std::vector<uint32_t> start((size_t{1} << bucketBits) + 1, 0);
    for (uint64_t h : hashes_) ++start[bucket(h) + 1];
    for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    std::vector<uint32_t> order(entries_.size());
    for (size_t p = 0; p < entries_.size(); ++p) order[start[bucket(hashes_[p])]++] = static_cast<uint32_t>(p);

    std::vector<uint32_t> dropped;
    for (uint32_t p : order) {
        size_t i = findSlot(entries_[p].first, hashes_[p]);
        if (slots_[i] == kNoEntry) {
            slots_[i] = slotFor(hashes_[p], p);
            continue;
        }
        entries_[static_cast<uint32_t>(slots_[i])].second = std::move(entries_[p].second);
        dropped.push_back(p);
    }
    if (dropped.empty()) return false;
    std::sort(dropped.begin(), dropped.end());
    size_t out = 0;
    for (size_t p = 0, d = 0; p < entries_.size(); ++p) {
        if (d < dropped.size() && dropped[d] == p) {
            ++d;
            continue;
        }
        if (out != p) {
            entries_[out] = std::move(entries_[p]);
            hashes_[out] = hashes_[p];
        }
        ++out;
    }
    entries_.resize(out);
    hashes_.resize(out);
    rebuildIndex(slotCount);
    return true;
}

namespace {

size_t slotCountFor(uint64_t capacity) {
    size_t slots = 8;
    while (slots < capacity * 2) slots *= 2;
    return slots;
}

} // namespace

void NSDictionary::reserve(uint64_t capacity) {
    // A hint, never a promise: room beyond what any file read here holds
    // comes, if ever needed, by growing.
    capacity = std::min<uint64_t>(capacity, uint64_t{1} << 18);
    entries_.reserve(static_cast<size_t>(capacity));
    hashes_.reserve(static_cast<size_t>(capacity));
    size_t slots = slotCountFor(capacity);
    if (slots > slots_.size()) rebuildIndex(slots);
}

void NSDictionary::adopt(std::vector<std::pair<std::string, id>>&& entries) {
    entries_ = std::move(entries);
    hashes_.clear();
    hashes_.reserve(entries_.capacity());
    // Whether the entries came in order is seen while each key is hashed,
    // its text (and the one before it) still at hand: a second pass over a
    // large file's keys would fetch every text from memory again.
    bool inOrder = true;
    for (size_t p = 0; p < entries_.size(); ++p) {
        hashes_.push_back(keyHash(entries_[p].first));
        if (inOrder && p > 0 && !(entries_[p - 1].first < entries_[p].first)) inOrder = false;
    }
    // Keys in strict order stand once each, so the index drops none of them.
    rebuildIndex(slotCountFor(std::max<uint64_t>(entries_.capacity(), entries_.size())));
    // Put in order now: a reader's dictionary is walked at once, and a file
    // the device wrote is already in order.
    ordered_ = inOrder ? entries_.size() : 0;
    putInOrder();
}

// The keys in order. Those from ordered_ on came after the last ordering, in
// the order they came: the ordered ones that a newcomer does not undercut
// stay where they are (a file in order with a few keys added last, as the
// preferences daemon leaves one, is then one pass), the rest are sorted
// and merged in.
void NSDictionary::putInOrder() const {
    if (ordered_ == entries_.size()) return;
    auto* self = const_cast<NSDictionary*>(this);
    const auto& e = entries_;
    auto before = [&e](uint32_t a, uint32_t b) { return e[a].first < e[b].first; };
    std::vector<uint32_t> kept, strays;
    kept.reserve(e.size());
    for (uint32_t p = 0; p < e.size(); ++p) {
        if (p < ordered_ || kept.empty() || before(kept.back(), p)) kept.push_back(p);
        else strays.push_back(p);
    }
    if (strays.empty()) {
        self->ordered_ = e.size();
        return;
    }
    std::sort(strays.begin(), strays.end(), before);
    std::vector<uint32_t> order(e.size());
    std::merge(kept.begin(), kept.end(), strays.begin(), strays.end(), order.begin(), before);
    std::vector<std::pair<std::string, id>> sortedEntries;
    std::vector<uint64_t> sortedHashes;
    sortedEntries.reserve(self->entries_.capacity());
    sortedHashes.reserve(self->hashes_.capacity());
    for (uint32_t p : order) {
        sortedEntries.push_back(std::move(self->entries_[p]));
        sortedHashes.push_back(hashes_[p]);
    }
    self->entries_ = std::move(sortedEntries);
    self->hashes_ = std::move(sortedHashes);
    self->rebuildIndex(slots_.size());
    self->ordered_ = entries_.size();
}

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::dictionaryWithEntries(
    std::vector<std::pair<std::string, id>>&& entries) {
    auto d = std::make_shared<NSMutableDictionary>();
    d->adopt(std::move(entries));
    return d;
}

id NSDictionary::objectForKey(const std::string& key) const {
    if (entries_.empty()) return nullptr;
    uint64_t slot = slots_[findSlot(key, keyHash(key))];
    return slot == kNoEntry ? nullptr : entries_[static_cast<uint32_t>(slot)].second;
}

uint64_t NSDictionary::indexOfKey(const std::string& key) const {
    if (entries_.empty()) return NSNotFound;
    putInOrder();
    uint64_t slot = slots_[findSlot(key, keyHash(key))];
    return slot == kNoEntry ? NSNotFound : static_cast<uint32_t>(slot);
}

const std::vector<std::pair<std::string, id>>& NSDictionary::entries() const {
    putInOrder();
    return entries_;
}

std::vector<std::string> NSDictionary::allKeys() const {
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const auto& e : entries()) keys.push_back(e.first);
    return keys;
}

void NSDictionary::set(const std::string& key, id value) { set(std::string(key), std::move(value)); }

void NSDictionary::set(std::string&& key, id value) {
    // At most half full, so a probe always ends at a free slot soon.
    if ((entries_.size() + 1) * 2 > slots_.size()) rebuildIndex(std::max<size_t>(8, slots_.size() * 2));
    uint64_t hash = keyHash(key);
    size_t slot = findSlot(key, hash);
    if (slots_[slot] != kNoEntry) {
        entries_[static_cast<uint32_t>(slots_[slot])].second = std::move(value);
        return;
    }
    slots_[slot] = slotFor(hash, static_cast<uint32_t>(entries_.size()));
    hashes_.push_back(hash);
    // A key after every other one keeps the dictionary in order as it is.
    const bool stillOrdered = ordered_ == entries_.size() && (entries_.empty() || entries_.back().first < key);
    entries_.emplace_back(std::move(key), std::move(value));
    if (stillOrdered) ordered_ = entries_.size();
}

void NSDictionary::remove(const std::string& key) {
    if (entries_.empty()) return;
    uint64_t slot = slots_[findSlot(key, keyHash(key))];
    if (slot == kNoEntry) return;
    auto at = static_cast<uint32_t>(slot);
    // Every later entry moves up a place: the index is made again.
    if (at < ordered_) --ordered_;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    hashes_.erase(hashes_.begin() + static_cast<std::ptrdiff_t>(at));
    rebuildIndex(slots_.size());
}

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::dictionaryWithCapacity(uint64_t capacity) {
    auto d = std::make_shared<NSMutableDictionary>();
    d->reserve(capacity);
    return d;
}

void NSMutableDictionary::addEntriesFromDictionary(const NSDictionary& other) {
    for (const auto& [k, v] : other.entries()) setObjectForKey(v, k);
}

// ---- readings ----

std::optional<bool> readBool(const NSObject* value) {
    if (auto* n = dynamic_cast<const NSNumber*>(value)) return n->boolValue();
    if (auto* s = dynamic_cast<const NSString*>(value)) return s->boolValue();
    return std::nullopt;
}

std::optional<int64_t> readInteger(const NSObject* value) {
    if (auto* n = dynamic_cast<const NSNumber*>(value)) return n->integerValue();
    if (auto* s = dynamic_cast<const NSString*>(value)) return s->integerValue();
    return std::nullopt;
}

std::optional<double> readDouble(const NSObject* value) {
    if (auto* n = dynamic_cast<const NSNumber*>(value)) return n->doubleValue();
    if (auto* s = dynamic_cast<const NSString*>(value)) return s->doubleValue();
    return std::nullopt;
}
