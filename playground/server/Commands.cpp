#include "playground/server/Commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

namespace playground {

namespace {

SettingSpec boolean(std::string key, bool def, std::string group, std::string label, std::string help) {
    return {std::move(key), SettingType::Boolean, def, std::move(group), std::move(label), std::move(help)};
}

SettingSpec colour(std::string key, std::string fallback, std::string label, std::string help) {
    // The key is absent by default; the plugin then draws the fallback.
    SettingSpec s{std::move(key), SettingType::Colour, nullptr, "Appearance", std::move(label), std::move(help)};
    s.help += " Default " + fallback + ".";
    return s;
}

// Splits a line into words the way the scenario language does, far enough
// to check the command: quotes group, a '#' outside quotes at a word's
// start ends the line.
std::vector<std::string> words(const std::string& line, bool& ok) {
    std::vector<std::string> out;
    ok = true;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string w;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] != '"') {
                w += line[i++];
                continue;
            }
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) c = line[i++];
                w += c;
            }
            if (!closed) ok = false;
        }
        out.push_back(w);
    }
    return out;
}

bool isPoint(const std::string& w) {
    size_t comma = w.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 >= w.size()) return false;
    for (size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        if (i == comma) continue;
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
    }
    return true;
}

} // namespace

const std::vector<SettingSpec>& settingSpecs() {
    static const std::vector<SettingSpec> specs = [] {
        std::vector<SettingSpec> s;
        s.push_back(boolean("isEnabled", true, "General", "Enabled",
                            "Create the bubbles when the home screen starts. Takes effect at the next respring."));
        s.push_back(boolean("isCircle", true, "Appearance", "Round bubbles", "Off gives rounded squares."));
        SettingSpec size{"bubbleSize", SettingType::Number, 50.0, "Appearance", "Bubble size",
                         "Width and height of a bubble, in points."};
        size.min = 20;
        size.max = 120;
        size.step = 1;
        s.push_back(size);
        s.push_back(colour("frameColor", "#fffefe", "Border colour", "The ring around each bubble."));
        s.push_back(boolean("isBadgeEnabled", true, "Appearance", "Badges", "Show the app's notification count."));
        s.push_back(colour("badgeColor", "#ff0000", "Badge colour", "Background of the badge."));
        s.push_back(colour("badgeTextColor", "#fffefe", "Badge text colour", "The badge's digits."));
        s.push_back(boolean("isSticky", false, "Behaviour", "Snap to edge",
                            "A bubble let go after a drag moves to the nearer side of the screen."));
        s.push_back(boolean("isLocked", false, "Behaviour", "Lock in place",
                            "Bubbles cannot be dragged. The long-press menu toggles it too."));
        s.push_back(boolean("isDim", true, "Behaviour", "Dim when idle",
                            "Bubbles fade after eight seconds without a touch."));
        s.push_back(boolean("isAlwaysDim", false, "Behaviour", "Always dimmed", "With dimming on, bubbles stay faded."));
        s.push_back(boolean("isSBOnly", false, "Visibility", "Home screen only", "Show the bubbles only on the home screen."));
        s.push_back(boolean("isAppsOnly", false, "Visibility", "Hide in apps",
                            "Hide the bubbles whenever an app comes to the front."));
        s.push_back(boolean("isInAppOnly", false, "Visibility", "Apps only", "Show the bubbles only while an app is in front."));
        s.push_back(boolean("isLSOnly", false, "Visibility", "Lock screen only", "Show the bubbles only on the lock screen."));
        s.push_back(boolean("isHiddenInLS", false, "Visibility", "Hide on lock screen", "Hide the bubbles while locked."));
        s.push_back(boolean("isHiddenInCC", false, "Visibility", "Hide in Control Center",
                            "Hide the bubbles while Control Center is open."));
        return s;
    }();
    return specs;
}

const SettingSpec* findSetting(const std::string& key) {
    for (const auto& s : settingSpecs())
        if (s.key == key) return &s;
    return nullptr;
}

std::string quoteWord(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string realWord(double value) {
    if (!std::isfinite(value)) value = 0;
    char buf[64];
    if (std::floor(value) == value && std::fabs(value) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.1f", value);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.4f", value);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s += '0';
    return s;
}

std::string pointWord(double x, double y) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.2f,%.2f", x, y);
    return buf;
}

bool isBundleIdentifier(const std::string& text) {
    if (text.empty() || text.size() > 128) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

bool isColourString(const std::string& text) {
    return text.size() == 7 && text[0] == '#' &&
           std::all_of(text.begin() + 1, text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::vector<std::string> settingLines(const std::string& key, const Json& value, std::string& error) {
    const SettingSpec* def = findSetting(key);
    if (!def) {
        error = "no setting " + key;
        return {};
    }
    std::string line;
    if (value.is_null()) {
        line = "remove settings " + key;
    } else {
        switch (def->type) {
        case SettingType::Boolean:
            if (!value.is_boolean()) {
                error = key + " is a switch: true or false";
                return {};
            }
            line = "settings " + key + "=" + (value.get<bool>() ? "true" : "false");
            break;
        case SettingType::Number: {
            if (!value.is_number()) {
                error = key + " is a number";
                return {};
            }
            double v = value.get<double>();
            if (!std::isfinite(v) || v < def->min || v > def->max) {
                error = key + " runs from " + realWord(def->min) + " to " + realWord(def->max);
                return {};
            }
            line = "settings " + key + "=" + realWord(v);
            break;
        }
        case SettingType::Colour: {
            if (!value.is_string() || !isColourString(value.get<std::string>())) {
                error = key + " is a colour, \"#rrggbb\"";
                return {};
            }
            std::string text = value.get<std::string>();
            std::transform(text.begin(), text.end(), text.begin(),
                           [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
            line = "settings " + key + "=" + quoteWord(text);
            break;
        }
        }
    }
    return {line, "notify settings"};
}

std::optional<std::string> choiceLine(const std::string& bundle, bool chosen, std::string& error) {
    if (!isBundleIdentifier(bundle)) {
        error = "not a bundle identifier";
        return std::nullopt;
    }
    return std::string("state ") + kChosenPrefix + bundle + "=" + (chosen ? "true" : "false");
}

std::optional<std::string> badgeLine(const std::string& bundle, const Json& value, std::string& error) {
    if (!isBundleIdentifier(bundle)) {
        error = "not a bundle identifier";
        return std::nullopt;
    }
    std::string word;
    if (value.is_null() || (value.is_string() && value.get<std::string>().empty())) {
        word = "none";
    } else if (value.is_number_integer()) {
        long long n = value.get<long long>();
        if (n < -999999 || n > 999999) {
            error = "a badge count has at most six digits";
            return std::nullopt;
        }
        word = std::to_string(n);
    } else if (value.is_string()) {
        std::string text = value.get<std::string>();
        if (text.size() > 24) {
            error = "a badge text has at most 24 characters";
            return std::nullopt;
        }
        if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
            error = "a badge text is one line";
            return std::nullopt;
        }
        // A text that reads as a count is one, as a count sent as a number
        // is: the page's field and a request name a badge the same way.
        size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
        bool digits = text.size() > sign && text.size() - sign <= 6 &&
                      std::all_of(text.begin() + sign, text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
        word = digits ? std::to_string(std::stoll(text)) : quoteWord(text);
    } else {
        error = "a badge is a number, a text or none";
        return std::nullopt;
    }
    return "badge " + bundle + " " + word;
}

std::optional<std::string> touchLine(const std::string& phase, double x, double y, double width, double height,
                                     std::string& error) {
    if (phase == "cancel") return std::string("touch cancel");
    if (phase != "down" && phase != "move" && phase != "up") {
        error = "a touch is down, move, up or cancel";
        return std::nullopt;
    }
    if (!std::isfinite(x) || !std::isfinite(y)) {
        error = "a touch needs a point";
        return std::nullopt;
    }
    // A finger cannot leave the glass: a pointer dragged past the screen's
    // edge stays at the edge, which excludes the far edges themselves.
    const double inside = 0.01;
    x = std::clamp(x, 0.0, width - inside);
    y = std::clamp(y, 0.0, height - inside);
    return "touch " + phase + " " + pointWord(x, y);
}

bool isAllowedLine(const std::string& line) {
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return false;
    bool ok;
    auto w = words(line, ok);
    if (!ok || w.empty()) return false;
    const std::string& c = w[0];
    auto file = [&](size_t i) { return w.size() > i && (w[i] == "settings" || w[i] == "state"); };
    auto oneOf = [&](size_t i, std::initializer_list<const char*> options) {
        if (w.size() <= i) return false;
        for (const char* o : options)
            if (w[i] == o) return true;
        return false;
    };
    if (c == "settings" || c == "state") return w.size() >= 2;
    if (c == "remove") return w.size() == 3 && file(1);
    if (c == "delete") return w.size() == 2 && file(1);
    if (c == "screen" || c == "app") return w.size() >= 2;
    if (c == "boot") return w.size() == 1;
    // The scenario's respring: the same process ends its home screen and
    // boots another, with the files, the apps and the clock kept.
    if (c == "respring") return w.size() == 1;
    if (c == "notify") return w.size() == 2 && w[1] == "settings";
    if (c == "front") return w.size() == 2;
    if (c == "orientation") return w.size() == 2;
    if (c == "cc") return w.size() == 2 && oneOf(1, {"present", "dismiss"});
    if (c == "lockstate") return w.size() == 2;
    if (c == "uilocked") return w.size() == 2 && oneOf(1, {"yes", "no"});
    if (c == "query") return w.size() == 2 && w[1] == "uilocked";
    if (c == "lockscreen") return w.size() == 2 && w[1] == "dismiss";
    if (c == "passcode") return w.size() == 2 && oneOf(1, {"appear", "disappear"});
    if (c == "badge") return w.size() == 3;
    if (c == "call") return w.size() == 2;
    if (c == "siri") return w.size() == 3 && w[1] == "visible" && oneOf(2, {"yes", "no"});
    if (c == "touch") return (w.size() == 2 && w[1] == "cancel") || (w.size() == 3 && oneOf(1, {"down", "move", "up"}) && isPoint(w[2]));
    if (c == "wait") return w.size() == 2;
    // A replayed check: it compares, and reads no file (not `expect bytes`).
    if (c == "expect") {
        if (w.size() == 3 && (w[1] == "trace" || w[1] == "no-trace")) return true;
        return w.size() >= 4 && w[1].size() > 1 && w[1][0] == '/' &&
               oneOf(2, {"==", "!=", "<", "<=", ">", ">=", "~"});
    }
    // Only the forms that print: a dump or snapshot with a path writes a file.
    if (c == "dump") return w.size() == 1;
    if (c == "snapshot") return w.size() == 2 && w[1] == "-";
    return false;
}

} // namespace playground
