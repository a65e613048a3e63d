// Foundation's value objects: strings, numbers, data, dates, arrays and
// dictionaries, the types a property list is made of.
//
// A dictionary has no order of its own on the phone: it enumerates its keys
// in its hash table's order, never in the order a file gave them. Here the
// order depends on the keys alone, as on the phone, and is their sorted
// order (bytewise, as the keys are UTF-8): the same keys give the same
// order whatever order a file or a writer put them in, and it is the order
// a scenario or a recording writes them in.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "runtime/Runtime.h"

// double to float as the hardware rounds it: values beyond the float range
// become infinities (a plain cast would be undefined there).
inline float narrowToFloat(double d) {
    constexpr double maxFloat = 3.4028234663852886e38;
    if (d > maxFloat) return d < 3.4028235677973366e38 ? 3.4028234663852886e38f : __builtin_huge_valf();
    if (d < -maxFloat) return d > -3.4028235677973366e38 ? -3.4028234663852886e38f : -__builtin_huge_valf();
    return static_cast<float>(d);
}

struct NSRange {
    // NSNotFound in location when nothing was found.
    uint64_t location;
    uint64_t length;
};
inline constexpr uint64_t NSNotFound = INT64_MAX;

enum NSStringCompareOptions : unsigned {
    NSCaseInsensitiveSearch = 1,
    NSLiteralSearch = 2,
    NSBackwardsSearch = 4,
};

class NSString : public NSObject {
public:
    explicit NSString(std::string utf8 = {}) : value_(std::move(utf8)) {}
    static std::shared_ptr<NSString> stringWithUTF8String(const std::string& s) {
        return std::make_shared<NSString>(s);
    }
    // printf-style formatting; %@ takes a `const NSObject*` (nil prints "(null)").
    static std::shared_ptr<NSString> stringWithFormat(const char* format, ...);
    // The formatter behind stringWithFormat, for other variadic entry points
    // (NSLog). Widths and precisions may be given as '*'.
    static std::string formatV(const char* format, va_list args);

    std::string className() const override { return "NSString"; }
    std::string description() const override { return value_; }

    const std::string& UTF8String() const { return value_; }
    uint64_t length() const { return value_.size(); }
    bool isEqualToString(const NSString* other) const { return other && other->value_ == value_; }

    // Locations and lengths count bytes of the UTF-8 text.
    NSRange rangeOfString(const std::string& needle, unsigned options = 0) const;
    std::shared_ptr<NSString> substringFromIndex(uint64_t index) const;

    // Readings as the platform's NSString makes them; see Foundation.cpp.
    bool boolValue() const;
    int64_t integerValue() const;
    int intValue() const;
    float floatValue() const;
    double doubleValue() const;

private:
    std::string value_;
};

class NSNumber : public NSObject {
public:
    enum class Kind { Bool, Integer, Unsigned, Real };

    static std::shared_ptr<NSNumber> numberWithBool(bool b);
    static std::shared_ptr<NSNumber> numberWithInteger(int64_t i);
    static std::shared_ptr<NSNumber> numberWithInt(int i) { return numberWithInteger(i); }
    static std::shared_ptr<NSNumber> numberWithUnsignedLongLong(uint64_t u);
    // A float keeps its single precision: its value is the float widened.
    static std::shared_ptr<NSNumber> numberWithFloat(float f);
    static std::shared_ptr<NSNumber> numberWithDouble(double d);

    std::string className() const override { return "NSNumber"; }
    std::string description() const override;

    Kind kind() const { return kind_; }
    bool isSinglePrecision() const { return single_; }
    bool boolValue() const;
    int64_t integerValue() const;
    int intValue() const { return static_cast<int>(integerValue()); }
    uint64_t unsignedLongLongValue() const;
    float floatValue() const { return narrowToFloat(doubleValue()); }
    double doubleValue() const;

    bool isEqualToNumber(const NSNumber* other) const;

    NSNumber(Kind kind, int64_t i, uint64_t u, double d, bool single)
        : kind_(kind), i_(i), u_(u), d_(d), single_(single) {}

private:
    Kind kind_;
    int64_t i_;
    uint64_t u_;
    double d_;
    bool single_;
};

class NSData : public NSObject {
public:
    explicit NSData(std::vector<uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
    std::string className() const override { return "NSData"; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint64_t length() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

class NSDate : public NSObject {
public:
    // Seconds since 2001-01-01 00:00:00 UTC, as the platform counts them.
    explicit NSDate(double sinceReferenceDate = 0) : t_(sinceReferenceDate) {}
    std::string className() const override { return "NSDate"; }
    double timeIntervalSinceReferenceDate() const { return t_; }

private:
    double t_;
};

// The one null object, for "no value" inside collections.
class NSNull : public NSObject {
public:
    static std::shared_ptr<NSNull> null();
    std::string className() const override { return "NSNull"; }
    std::string description() const override { return "<null>"; }
};

class NSArray : public NSObject {
public:
    NSArray() = default;
    explicit NSArray(std::vector<id> items) : items_(std::move(items)) {}
    std::string className() const override { return "NSArray"; }
    std::string description() const override;

    uint64_t count() const { return items_.size(); }
    // nil past the end (the platform raises; nothing here may crash).
    id objectAtIndex(uint64_t index) const { return index < items_.size() ? items_[index] : nullptr; }
    id firstObject() const { return items_.empty() ? nullptr : items_.front(); }
    id lastObject() const { return items_.empty() ? nullptr : items_.back(); }
    const std::vector<id>& items() const { return items_; }
    std::vector<id>::const_iterator begin() const { return items_.begin(); }
    std::vector<id>::const_iterator end() const { return items_.end(); }

protected:
    std::vector<id> items_;
};

class NSMutableArray : public NSArray {
public:
    NSMutableArray() = default;
    static std::shared_ptr<NSMutableArray> arrayWithCapacity(uint64_t capacity);
    std::string className() const override { return "NSMutableArray"; }
    void addObject(id obj) { if (obj) items_.push_back(std::move(obj)); }
    void removeAllObjects() { items_.clear(); }
    void removeObjectAtIndex(uint64_t index);
};

class NSDictionary : public NSObject {
public:
    NSDictionary() = default;
    std::string className() const override { return "NSDictionary"; }
    std::string description() const override;

    uint64_t count() const { return entries_.size(); }
    id objectForKey(const std::string& key) const;
    id valueForKey(const std::string& key) const { return objectForKey(key); }
    // The keys in the dictionary's own order (sorted; see above).
    std::vector<std::string> allKeys() const;
    // Where key stands in that order (its place in entries()), or
    // NSNotFound.
    uint64_t indexOfKey(const std::string& key) const;
    // The entries in that order. Not for two threads at once: the first
    // look after keys were added puts them in order.
    const std::vector<std::pair<std::string, id>>& entries() const;

protected:
    void set(const std::string& key, id value);
    void set(std::string&& key, id value);
    void remove(const std::string& key);
    // Room for `capacity` entries (up to a bound) without growing.
    void reserve(uint64_t capacity);
    // Takes entries as if each were set in turn (none nil).
    void adopt(std::vector<std::pair<std::string, id>>&& entries);
    // entries_[0, ordered_) is in order; keys set since stand after it in
    // the order they came, until the next look at the order.
    std::vector<std::pair<std::string, id>> entries_;
    mutable size_t ordered_ = 0;

private:
    // Where each key stands in entries_: an open-addressing table (linear
    // probing, at most half full) whose slot for a key is given by the top
    // bits of its hash. A slot holds a position in its low 32 bits and the
    // low 32 bits of the key's hash above them, so a probe rarely has to
    // look at a key that is not the one sought; kNoEntry marks a free
    // slot. Each entry's whole hash is kept beside it, so that growing the
    // table never hashes a key again, and the table is filled in the order
    // of its slots, which walks memory once instead of jumping about. A
    // state file of 100,000 keys is read into one of these at every start
    // of the home screen: a node per key, as a node-based map allocates,
    // is what made that slow.
    static constexpr uint64_t kNoEntry = UINT64_MAX;
    size_t findSlot(std::string_view key, uint64_t hash) const;
    size_t home(uint64_t hash) const { return shift_ >= 64 ? 0 : static_cast<size_t>(hash >> shift_); }
    // Fills a table of slotCount slots; a key met again gives its value to
    // its first place and is dropped (answers whether any was).
    bool rebuildIndex(size_t slotCount);
    void putInOrder() const;
    static uint64_t slotFor(uint64_t hash, uint32_t position) { return (hash << 32) | position; }
    std::vector<uint64_t> slots_;
    unsigned shift_ = 64;
    std::vector<uint64_t> hashes_;
};

class NSMutableDictionary : public NSDictionary {
public:
    NSMutableDictionary() = default;
    // An empty dictionary with room for `capacity` entries.
    static std::shared_ptr<NSMutableDictionary> dictionaryWithCapacity(uint64_t capacity);
    std::string className() const override { return "NSMutableDictionary"; }
    // A dictionary of entries taken over from the caller (a reader that
    // made them), as if each were set in turn: a key that comes again takes
    // its last value. Room is kept for as many entries as the vector has
    // capacity for. No value may be nil.
    static std::shared_ptr<NSMutableDictionary> dictionaryWithEntries(std::vector<std::pair<std::string, id>>&& entries);
    // Sets a key taken over from the caller (a reader that made the text).
    void setObjectForKey(id value, std::string&& key) { value ? set(std::move(key), std::move(value)) : remove(key); }
    // Setting nil removes the key.
    void setObjectForKey(id value, const std::string& key) { value ? set(key, std::move(value)) : remove(key); }
    void removeObjectForKey(const std::string& key) { remove(key); }
    void addEntriesFromDictionary(const NSDictionary& other);
};

// Truth and number readings of any property-list value, as `boolValue`,
// `integerValue` and `floatValue` sent to it would answer: numbers and
// strings answer; anything else (nil, arrays, dictionaries, data, dates)
// has no reading.
std::optional<bool> readBool(const NSObject* value);
std::optional<int64_t> readInteger(const NSObject* value);
std::optional<double> readDouble(const NSObject* value);

// Makes an NSString id from text.
inline id str(const std::string& s) { return std::make_shared<NSString>(s); }
