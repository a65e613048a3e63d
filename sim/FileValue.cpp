#include "sim/FileValue.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "foundation/Foundation.h"
#include "foundation/plist/Utf8.h"
#include "sim/Base64.h"

namespace {

// Seconds from 1970 to the platform's reference date, 2001-01-01 UTC.
constexpr double kReferenceFromUnix = 978307200.0;
constexpr int kDeepest = 32;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

class Reader {
public:
    explicit Reader(const std::string& text) : s_(text) {}

    std::optional<id> top() {
        auto v = value(0);
        if (v && pos_ != s_.size()) return fail("unexpected " + s_.substr(pos_) + " after the value");
        return v;
    }
    std::optional<std::string> text() {
        auto t = quoted();
        if (t && pos_ != s_.size()) {
            fail("unexpected " + s_.substr(pos_) + " after the text");
            return std::nullopt;
        }
        return t;
    }
    std::string error;

private:
    std::optional<id> fail(const std::string& why) {
        if (error.empty()) error = why;
        return std::nullopt;
    }
    void spaces() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    // A plain token runs to the next delimiter of an enclosing [] or {}.
    std::string token() {
        size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != ']' && s_[pos_] != '}' && s_[pos_] != ' ' &&
               s_[pos_] != '\t' && s_[pos_] != ':')
            ++pos_;
        return s_.substr(start, pos_ - start);
    }
    // The rest of a prefixed token (date:..., which holds colons itself).
    std::string prefixed() {
        size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] != ',' && s_[pos_] != ']' && s_[pos_] != '}' && s_[pos_] != ' ' &&
               s_[pos_] != '\t')
            ++pos_;
        return s_.substr(start, pos_ - start);
    }
    bool startsWith(const char* p) const { return s_.compare(pos_, std::char_traits<char>::length(p), p) == 0; }

    std::optional<id> value(int depth) {
        if (depth > kDeepest) return fail("values nested too deep");
        if (pos_ >= s_.size()) return fail("missing value");
        char c = s_[pos_];
        if (c == '"') {
            auto t = quoted();
            if (!t) return std::nullopt;
            return id(str(*t));
        }
        if (c == '[') return array(depth);
        if (c == '{') return dictionary(depth);
        if (startsWith("date:")) {
            pos_ += 5;
            return date(prefixed());
        }
        if (startsWith("data:")) {
            pos_ += 5;
            return data(prefixed());
        }
        if (startsWith("real:")) {
            pos_ += 5;
            std::string t = token();
            if (t == "nan") return id(NSNumber::numberWithDouble(std::numeric_limits<double>::quiet_NaN()));
            if (t == "inf") return id(NSNumber::numberWithDouble(std::numeric_limits<double>::infinity()));
            if (t == "-inf") return id(NSNumber::numberWithDouble(-std::numeric_limits<double>::infinity()));
            return fail("real: is followed by nan, inf or -inf, not " + t);
        }
        return plain(token());
    }

    std::optional<id> plain(const std::string& t) {
        if (t == "true") return id(NSNumber::numberWithBool(true));
        if (t == "false") return id(NSNumber::numberWithBool(false));
        if (t.empty()) return fail("missing value");
        size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
        bool digits = i < t.size();
        for (size_t j = i; j < t.size(); ++j) digits = digits && std::isdigit(static_cast<unsigned char>(t[j]));
        if (digits) {
            errno = 0;
            if (t[0] != '-') {
                unsigned long long u = std::strtoull(t.c_str() + i, nullptr, 10);
                if (errno == ERANGE) return fail("integer out of range: " + t);
                if (u > static_cast<unsigned long long>(std::numeric_limits<int64_t>::max()))
                    return id(NSNumber::numberWithUnsignedLongLong(u));
                return id(NSNumber::numberWithInteger(static_cast<int64_t>(u)));
            }
            long long v = std::strtoll(t.c_str(), nullptr, 10);
            if (errno == ERANGE) return fail("integer out of range: " + t);
            return id(NSNumber::numberWithInteger(v));
        }
        // A real has a point: "1e5" is more likely a slip than a number.
        bool realChars = t.find('.') != std::string::npos;
        for (char ch : t)
            realChars = realChars && (std::isdigit(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' ||
                                      ch == '+' || ch == 'e' || ch == 'E');
        bool numberChars = !t.empty();
        for (char ch : t)
            numberChars = numberChars && (std::isdigit(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' ||
                                          ch == '+' || ch == 'e' || ch == 'E');
        char* end = nullptr;
        errno = 0;
        double d = numberChars ? std::strtod(t.c_str(), &end) : 0;
        bool whole = numberChars && end == t.c_str() + t.size();
        if (whole && errno == ERANGE && std::fabs(d) > 1)
            return fail("a real beyond the largest a file holds (about 1.8e308): " + t +
                        "; real:inf and real:-inf are the infinities");
        // Past the range it is refused above; below it, it is as near 0 as a double goes.
        if (realChars && whole) return id(NSNumber::numberWithDouble(d));
        if (whole) {
            // "1e5" is a number all the same: say how to write it.
            std::string mantissa = t.substr(0, t.find_first_of("eE"));
            return fail("not a value: " + t + " (a real is written with a point: " + mantissa + ".0" +
                        t.substr(mantissa.size()) + ")");
        }
        return fail("not a value: " + t +
                    " (true, false, a number, a \"text\", date:..., data:..., [V,...] or {KEY:V,...})");
    }

    std::optional<std::string> quoted() {
        ++pos_; // the opening quote
        std::string out;
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return out;
            if (c != '\\' || pos_ >= s_.size()) {
                out += c;
                continue;
            }
            char e = s_[pos_];
            if (e == '"' || e == '\\') out += e, ++pos_;
            else if (e == 'n') out += '\n', ++pos_;
            else if (e == 'r') out += '\r', ++pos_;
            else if (e == 't') out += '\t', ++pos_;
            else if (e == 'u' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '{') {
                size_t close = s_.find('}', pos_);
                std::string hex = close == std::string::npos ? "" : s_.substr(pos_ + 2, close - pos_ - 2);
                char* end = nullptr;
                unsigned long cp = hex.empty() || hex.size() > 6 ? 0x110000 : std::strtoul(hex.c_str(), &end, 16);
                if (hex.empty() || end != hex.c_str() + hex.size() || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                    fail("bad \\u{HEX} in a text");
                    return std::nullopt;
                }
                propertylist::appendUtf8(out, static_cast<uint32_t>(cp));
                pos_ = close + 1;
            } else {
                out += c; // any other backslash is itself
            }
        }
        fail("unterminated text");
        return std::nullopt;
    }

    std::optional<id> array(int depth) {
        ++pos_;
        auto out = std::make_shared<NSMutableArray>();
        spaces();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return id(out);
        }
        while (true) {
            spaces();
            auto v = value(depth + 1);
            if (!v) return std::nullopt;
            out->addObject(*v);
            spaces();
            if (pos_ >= s_.size()) return fail("unterminated array");
            if (s_[pos_] == ']') {
                ++pos_;
                return id(out);
            }
            if (s_[pos_] != ',') return fail("expected , or ] in an array, not " + s_.substr(pos_));
            ++pos_;
        }
    }

    std::optional<id> dictionary(int depth) {
        ++pos_;
        auto out = std::make_shared<NSMutableDictionary>();
        spaces();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return id(out);
        }
        while (true) {
            spaces();
            std::string key;
            if (pos_ < s_.size() && s_[pos_] == '"') {
                auto k = quoted();
                if (!k) return std::nullopt;
                key = *k;
            } else {
                key = token();
                if (key.empty()) return fail("missing key in a dictionary");
            }
            spaces();
            if (pos_ >= s_.size() || s_[pos_] != ':') return fail("expected : after the key " + key);
            ++pos_;
            spaces();
            if (out->objectForKey(key)) return fail("the key " + key + " twice in a dictionary");
            auto v = value(depth + 1);
            if (!v) return std::nullopt;
            out->setObjectForKey(*v, key);
            spaces();
            if (pos_ >= s_.size()) return fail("unterminated dictionary");
            if (s_[pos_] == '}') {
                ++pos_;
                return id(out);
            }
            if (s_[pos_] != ',') return fail("expected , or } in a dictionary, not " + s_.substr(pos_));
            ++pos_;
        }
    }

    std::optional<id> date(const std::string& t) {
        int y, mo, d, h, mi;
        double sec;
        int used = 0;
        if (std::sscanf(t.c_str(), "%5d-%2d-%2dT%2d:%2d:%lf%n", &y, &mo, &d, &h, &mi, &sec, &used) == 6 &&
            static_cast<size_t>(used) == t.size() - 1 && t.back() == 'Z') {
            if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || h < 0 || mi < 0 || !(sec >= 0 && sec < 61))
                return fail("bad date " + t);
            double unix =
                static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) * 86400.0 +
                h * 3600.0 + mi * 60.0 + sec;
            return id(std::make_shared<NSDate>(unix - kReferenceFromUnix));
        }
        char* end = nullptr;
        double since = std::strtod(t.c_str(), &end);
        if (!t.empty() && end == t.c_str() + t.size() && std::isfinite(since) &&
            t.find_first_not_of("0123456789.-+eE") == std::string::npos)
            return id(std::make_shared<NSDate>(since));
        return fail("bad date " + t + " (date:YYYY-MM-DDTHH:MM:SSZ, or seconds since 2001)");
    }

    std::optional<id> data(const std::string& t) {
        std::vector<uint8_t> bytes;
        uint32_t acc = 0;
        int bits = 0;
        size_t i = 0;
        for (; i < t.size() && t[i] != '='; ++i) {
            const char* p = std::strchr(kBase64Alphabet, t[i]);
            if (!p || !t[i]) return fail("data: is followed by base64, not " + t);
            acc = (acc << 6) | static_cast<uint32_t>(p - kBase64Alphabet);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes.push_back(static_cast<uint8_t>((acc >> bits) & 0xFF));
            }
        }
        for (; i < t.size(); ++i)
            if (t[i] != '=') return fail("data: is followed by base64, not " + t);
        return id(std::make_shared<NSData>(std::move(bytes)));
    }

    const std::string& s_;
    size_t pos_ = 0;
};

bool plainKey(const std::string& k) {
    if (k.empty() || k == "true" || k == "false") return false;
    for (char c : k)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) return false;
    return true;
}

std::string formatReal(double d) {
    if (std::isnan(d)) return "real:nan";
    if (std::isinf(d)) return d > 0 ? "real:inf" : "real:-inf";
    char buf[40];
    // The shortest that reads back as the same double.
    int precision = 1;
    for (; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    // A whole part of up to 17 digits is written out (60.0, not 6.0e+01),
    // as a person writes it.
    if (d != 0 && std::fabs(d) >= 1 && std::fabs(d) < 1e17) {
        int digits = static_cast<int>(std::floor(std::log10(std::fabs(d)))) + 1;
        if (digits > precision) std::snprintf(buf, sizeof buf, "%.*g", digits, d);
    }
    std::string s = buf;
    if (s.find('.') == std::string::npos) {
        size_t e = s.find('e');
        s.insert(e == std::string::npos ? s.size() : e, ".0");
    }
    return s;
}

std::string formatDate(double since) {
    double unix = since + kReferenceFromUnix;
    double whole = std::floor(unix);
    if (std::isfinite(unix) && std::fabs(unix) < 1e11 && unix == whole) {
        long long t = static_cast<long long>(whole);
        long long days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
        long long rest = t - days * 86400;
        long long y;
        unsigned m, d;
        civilFromDays(days, y, m, d);
        char buf[64];
        std::snprintf(buf, sizeof buf, "date:%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", y, m, d, rest / 3600,
                      (rest / 60) % 60, rest % 60);
        return buf;
    }
    // A fraction of a second is kept exactly as seconds since 2001.
    std::string r = formatReal(since);
    return "date:" + r;
}

} // namespace

std::optional<id> parseFileValue(const std::string& raw, std::string* error) {
    Reader r(raw);
    auto v = r.top();
    if (!v && error) *error = r.error;
    return v;
}

std::optional<std::string> parseFileKey(const std::string& raw, std::string* error) {
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return raw;
    Reader r(raw);
    auto t = r.text();
    if (!t && error) *error = r.error;
    return t;
}

std::string quoteFileText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u{%x}", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string formatFileValue(const NSObject* value) {
    if (!value) return "";
    if (auto* s = dynamic_cast<const NSString*>(value)) return quoteFileText(s->UTF8String());
    if (auto* n = dynamic_cast<const NSNumber*>(value)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool:
            return n->boolValue() ? "true" : "false";
        case NSNumber::Kind::Integer:
            return std::to_string(n->integerValue());
        case NSNumber::Kind::Unsigned:
            return std::to_string(n->unsignedLongLongValue());
        case NSNumber::Kind::Real:
            return formatReal(n->doubleValue());
        }
    }
    if (auto* d = dynamic_cast<const NSDictionary*>(value)) {
        std::string out = "{";
        bool first = true;
        for (const auto& [k, v] : d->entries()) {
            std::string inner = formatFileValue(v.get());
            if (inner.empty()) return "";
            out += (first ? "" : ",") + (plainKey(k) ? k : quoteFileText(k)) + ":" + inner;
            first = false;
        }
        return out + "}";
    }
    if (auto* a = dynamic_cast<const NSArray*>(value)) {
        std::string out = "[";
        for (size_t i = 0; i < a->items().size(); ++i) {
            std::string inner = formatFileValue(a->items()[i].get());
            if (inner.empty()) return "";
            out += (i ? "," : "") + inner;
        }
        return out + "]";
    }
    if (auto* data = dynamic_cast<const NSData*>(value)) return "data:" + base64(data->bytes());
    if (auto* date = dynamic_cast<const NSDate*>(value)) return formatDate(date->timeIntervalSinceReferenceDate());
    return "";
}

std::string fileValueType(const NSObject* value) {
    if (dynamic_cast<const NSString*>(value)) return "text";
    if (auto* n = dynamic_cast<const NSNumber*>(value)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool:
            return "Boolean";
        case NSNumber::Kind::Integer:
        case NSNumber::Kind::Unsigned:
            return "integer";
        case NSNumber::Kind::Real:
            return "real";
        }
    }
    if (dynamic_cast<const NSDate*>(value)) return "date";
    if (dynamic_cast<const NSData*>(value)) return "data";
    if (dynamic_cast<const NSArray*>(value)) return "array";
    if (dynamic_cast<const NSDictionary*>(value)) return "dictionary";
    return "";
}

std::string formatFileEntry(const std::string& key, const NSObject* value) {
    bool plain = !key.empty();
    for (unsigned char c : key)
        if (c <= ' ' || c == '"' || c == '=' || c == '#' || c == '\\' || c == 0x7F) plain = false;
    return (plain ? key : quoteFileText(key)) + "=" + formatFileValue(value);
}
