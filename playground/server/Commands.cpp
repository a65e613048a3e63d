#include "playground/server/Commands.h"

#include "playground/server/SimulatorForms.h"
#include "sim/words/ScenarioWords.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

namespace playground {

namespace {

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

std::vector<SettingSpec> settingsFromDescription(const Json& description) {
    std::vector<SettingSpec> out;
    if (!description.is_object() || !description.contains("settings") || !description["settings"].is_array())
        return out;
    auto textOf = [](const Json& row, const char* name) {
        return row.contains(name) && row[name].is_string() ? row[name].get<std::string>() : std::string();
    };
    for (const auto& row : description["settings"]) {
        if (!row.is_object()) continue;
        std::string type = textOf(row, "type");
        SettingSpec s;
        s.key = textOf(row, "key");
        if (s.key.empty()) continue;
        if (type == "boolean") s.type = SettingType::Boolean;
        else if (type == "number") s.type = SettingType::Number;
        else if (type == "colour") s.type = SettingType::Colour;
        else continue;
        s.defaultValue = row.contains("default") ? row["default"] : Json();
        s.group = textOf(row, "group");
        s.label = textOf(row, "label");
        s.help = textOf(row, "help");
        if (s.type == SettingType::Number) {
            if (!row.contains("min") || !row.contains("max") || !row["min"].is_number() || !row["max"].is_number())
                continue;
            s.min = row["min"];
            s.max = row["max"];
            s.step = row.contains("step") && row["step"].is_number() ? row["step"].get<double>() : 1.0;
        }
        out.push_back(std::move(s));
    }
    return out;
}

const SettingSpec* findSetting(const std::vector<SettingSpec>& settings, const std::string& key) {
    for (const auto& s : settings)
        if (s.key == key) return &s;
    return nullptr;
}

std::string quoteWord(const std::string& text) { return quoteText(text); }

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

std::vector<std::string> settingLines(const std::vector<SettingSpec>& settings, const std::string& key,
                                      const Json& value, std::string& error) {
    const SettingSpec* def = findSetting(settings, key);
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

namespace {

// The brackets a word opens and does not close, outside its quotes.
int openBrackets(const std::string& raw) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return depth;
}

} // namespace

bool isOneFileValue(const std::string& value) {
    if (value.empty() || !fitsOnOneLine(value)) return false;
    ParsedLine p = splitScenarioLine(value);
    if (!p.error.empty() || p.words.empty() || p.words.front().begin != 0 || p.words.back().end != value.size())
        return false;
    // As the simulator reads a file value: a word after the first only
    // goes on an array or a dictionary still open, so "[1, 2]" is one
    // value and "1 x=2" would be a second key.
    std::string sofar;
    for (size_t i = 0; i < p.words.size(); ++i) {
        if (i > 0 && openBrackets(sofar) <= 0) return false;
        sofar = value.substr(0, p.words[i].end);
    }
    return true;
}

std::vector<std::string> fileLines(const std::string& file, const std::string& key, const Json& value,
                                   std::string& error) {
    if (file != "settings" && file != "state") {
        error = "the file is settings or state";
        return {};
    }
    // A quoted key is read back with the file values' escapes, of which the
    // language's quoting is a part; only a line break cannot stand in one.
    if (key.empty() || !fitsOnOneLine(key)) {
        error = "a key is a text on one line";
        return {};
    }
    if (!value.is_null() && (!value.is_string() || !isOneFileValue(value.get<std::string>()))) {
        error =
            "a value is one scenario VALUE, such as \"text\", 12, 0.5, true, date:2024-05-01T12:30:00Z, data:SGk=, "
            "[1, 2] or {a:1}";
        return {};
    }
    std::vector<std::string> lines{value.is_null() ? "remove " + file + " " + quoteWord(key)
                                                   : file + " " + quoteWord(key) + "=" + value.get<std::string>()};
    if (file == "settings") lines.push_back("notify settings");
    return lines;
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
                      std::all_of(text.begin() + sign, text.end(),
                                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
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

const std::set<std::string>& refusedCommands() {
    // A plugin or a missing class changes the phone itself; a file put in
    // place names a path; tap, drag, long press and menu name what they
    // touch, where the page touches points; an echo is the recording's, and
    // a launch is the boot's.
    static const std::set<std::string> refused = {"absent", "plugin",    "put",  "launch", "tap",
                                                  "drag",   "longpress", "menu", "echo"};
    return refused;
}

const std::set<std::string>& refusedForms() {
    // The home screen finds the Siri framework at its start, as the phone's
    // does; the page has no such switch.
    static const std::set<std::string> refused = {"siri framework yes|no"};
    return refused;
}

bool isAllowedLine(const std::string& line) {
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return false;
    ParsedLine parsed = splitScenarioLine(line);
    if (!parsed.error.empty() || parsed.words.empty() || refusedCommands().count(parsed.words[0].text)) return false;
    // The words the playground's lines hold: no path (so nothing the page
    // sends can reach a file), a touch only at a point, and a check only of
    // a dump member.
    WordFits fits = [](const std::string& placeholder, const Word& word) {
        if (placeholder.find("PATH") != std::string::npos) return false;
        if (placeholder == "X,Y" || placeholder == "TARGET") return !word.quoted && isPoint(word.text);
        if (placeholder == "POINTER") return !word.quoted && word.text.size() > 1 && word.text[0] == '/';
        if (placeholder == "OP")
            return !word.quoted && std::set<std::string>{"==", "!=", "<", "<=", ">", ">=", "~"}.count(word.text) > 0;
        return true;
    };
    for (const auto& form : simulatorForms())
        if (!refusedForms().count(form) && takesForm(form, parsed.words, fits)) return true;
    return false;
}

} // namespace playground
