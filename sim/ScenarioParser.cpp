#include "sim/ScenarioParser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "foundation/Foundation.h"

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end != s + text.size() || errno == ERANGE) return std::nullopt;
    // strtod takes "inf", "nan" and hex; the language takes plain decimals.
    for (char c : text)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    return v;
}

std::optional<ScreenPoint> parsePoint(const std::string& text) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) return std::nullopt;
    auto x = parseNumber(text.substr(0, comma));
    auto y = parseNumber(text.substr(comma + 1));
    if (!x || !y) return std::nullopt;
    return ScreenPoint{*x, *y};
}

namespace {

bool isInteger(const std::string& s) {
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// Splits the inside of [...] at the commas of its own level.
std::optional<std::vector<std::string>> splitElements(const std::string& inner, std::string* error) {
    std::vector<std::string> parts;
    std::string cur;
    int depth = 0;
    bool inQuote = false;
    for (size_t i = 0; i < inner.size(); ++i) {
        char c = inner[i];
        if (inQuote) {
            cur += c;
            if (c == '\\' && i + 1 < inner.size()) cur += inner[++i];
            else if (c == '"') inQuote = false;
            continue;
        }
        if (c == '"') inQuote = true;
        else if (c == '[') ++depth;
        else if (c == ']') --depth;
        else if (c == ',' && depth == 0) {
            parts.push_back(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (inQuote || depth != 0) {
        if (error) *error = "unbalanced array";
        return std::nullopt;
    }
    auto trim = [](std::string s) {
        size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    for (auto& p : parts) p = trim(p);
    cur = trim(cur);
    if (parts.empty() && cur.empty()) return parts;  // []
    parts.push_back(cur);
    return parts;
}

} // namespace

std::optional<id> parseFileValue(const std::string& raw, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<id> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (raw.empty()) return fail("missing value");
    if (raw == "true") return id(NSNumber::numberWithBool(true));
    if (raw == "false") return id(NSNumber::numberWithBool(false));
    if (raw.front() == '"') {
        if (raw.size() < 2 || raw.back() != '"') return fail("unterminated text " + raw);
        std::string text;
        for (size_t i = 1; i + 1 < raw.size(); ++i) {
            char c = raw[i];
            if (c == '\\' && i + 2 < raw.size() && (raw[i + 1] == '"' || raw[i + 1] == '\\')) c = raw[++i];
            else if (c == '"') return fail("stray double quote in " + raw);
            text += c;
        }
        return str(text);
    }
    if (raw.front() == '[') {
        if (raw.back() != ']') return fail("unterminated array " + raw);
        // Nesting is parsed by recursion: keep it shallow.
        int depth = 0, deepest = 0;
        for (char c : raw) {
            if (c == '[') deepest = std::max(deepest, ++depth);
            else if (c == ']') --depth;
        }
        if (deepest > 32) return fail("arrays nested too deep");
        auto parts = splitElements(raw.substr(1, raw.size() - 2), error);
        if (!parts) return std::nullopt;
        auto array = std::make_shared<NSMutableArray>();
        for (const auto& p : *parts) {
            auto v = parseFileValue(p, error);
            if (!v) return std::nullopt;
            array->addObject(*v);
        }
        return id(array);
    }
    if (isInteger(raw)) {
        errno = 0;
        long long v = std::strtoll(raw.c_str(), nullptr, 10);
        if (errno == ERANGE) return fail("integer out of range: " + raw);
        return id(NSNumber::numberWithInteger(v));
    }
    if (raw.find('.') != std::string::npos) {
        if (auto d = parseNumber(raw)) return id(NSNumber::numberWithDouble(*d));
    }
    return fail("not a value: " + raw + " (true, false, a number, a \"text\" or [V,...])");
}

bool splitOption(const std::string& word, std::string& key, std::string& value) {
    size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

std::optional<bool> yesNo(const std::string& s) {
    if (s == "yes" || s == "true") return true;
    if (s == "no" || s == "false") return false;
    return std::nullopt;
}

std::optional<long long> parseInteger(const std::string& s) {
    auto v = parseNumber(s);
    if (!v || std::floor(*v) != *v || std::fabs(*v) > 9.0e18) return std::nullopt;
    return static_cast<long long>(*v);
}

id badgeObject(const Word& w) {
    if (!w.quoted)
        if (auto i = parseInteger(w.text)) return NSNumber::numberWithInteger(*i);
    return str(w.text);
}
