#include "sim/ScenarioParser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "foundation/Foundation.h"
#include "sim/Suggest.h"
#include "uikit/UIApplication.h"

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

std::optional<long long> parseOrientation(const std::string& text, std::string& error) {
    static const std::vector<std::pair<std::string, long long>> names = {
        {"portrait", UIInterfaceOrientationPortrait},
        {"upside-down", UIInterfaceOrientationPortraitUpsideDown},
        {"landscape-right", UIInterfaceOrientationLandscapeRight},
        {"landscape-left", UIInterfaceOrientationLandscapeLeft},
        {"unknown", UIInterfaceOrientationUnknown}};
    std::string name;
    for (char c : text) name += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [n, code] : names)
        if (n == name) return code;
    if (auto n = parseInteger(text);
        n && *n >= UIInterfaceOrientationUnknown && *n <= UIInterfaceOrientationLandscapeLeft)
        return *n;
    std::vector<std::string> known;
    for (const auto& [n, code] : names) known.push_back(n);
    error = "no orientation " + (text.empty() ? std::string("given") : text) + didYouMean(name, known) +
            ": the platform has portrait (1), upside down (2), landscape right (3, the Home button on the right), "
            "landscape left (4) and unknown (0); code=N sends any other number";
    return std::nullopt;
}
