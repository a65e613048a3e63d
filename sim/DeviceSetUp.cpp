// Setting the device up: its rows of the command table and their handlers.
#include "sim/DeviceSetUp.h"

#include <filesystem>

#include "foundation/DevicePaths.h"
#include "foundation/NSUserDefaults.h"
#include "interfaces/PublicNames.h"
#include "sim/DeviceRoot.h"
#include "sim/FileValue.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "uikit/UIScreen.h"

namespace fs = std::filesystem;

DeviceSetUp::DeviceSetUp(SimulatorCore& core, DeviceRoot& root) : core_(core), root_(root), settingsCheck_(core) {}

const std::vector<CommandRow<DeviceSetUp>>& DeviceSetUp::rows() {
    using S = DeviceSetUp;
    using P = CommandPhase;
    static const std::vector<CommandRow<DeviceSetUp>> table = {
        // Device set-up.
        {"screen", "screen WxH [scale=S]", P::BeforeBoot, "screen is set before boot", &S::cmdScreen},
        {"app", "app BUNDLE [icon=yes|no] [badge=VALUE] [orientation=N]", P::BeforeBoot,
         "apps are installed before boot", &S::cmdApp},
        {"absent", "absent CLASS [SELECTOR]", P::BeforeBoot, "absent is set before boot", &S::cmdAbsent},
        {"plugin", "plugin PATH.so | plugin none", P::BeforeBoot, "plugins are installed before boot", &S::cmdPlugin},
        // Files.
        {"settings", "settings KEY=VALUE ...", P::Any, nullptr, &S::cmdFileKeys},
        {"state", "state KEY=VALUE ...", P::Any, nullptr, &S::cmdFileKeys},
        {"remove", "remove settings|state KEY", P::Any, nullptr, &S::cmdRemove},
        {"delete", "delete settings|state", P::Any, nullptr, &S::cmdDelete},
        {"put", "put settings|state PATH", P::Any, nullptr, &S::cmdPut},
    };
    return table;
}

std::string DeviceSetUp::filePath(const std::string& which, std::string& error) {
    if (which == "settings") return kSettingsPath;
    if (which == "state") return kStatePath;
    error = "expected settings or state, not " + which;
    return "";
}

std::string DeviceSetUp::cmdScreen(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() < 2) return c.usage;
    const std::string& size = w[1].text;
    size_t x = size.find('x');
    auto width = x == std::string::npos ? std::nullopt : parseNumber(size.substr(0, x));
    auto height = x == std::string::npos ? std::nullopt : parseNumber(size.substr(x + 1));
    if (!width || !height || *width <= 0 || *height <= 0) return "bad screen size " + size + " (WxH)";
    double scale = screenScale_;
    for (size_t i = 2; i < w.size(); ++i) {
        std::string k, v;
        if (!splitOption(w[i].text, k, v) || k != "scale") return "unknown screen option " + w[i].text;
        auto s = parseNumber(v);
        if (!s || *s <= 0) return "bad scale " + v;
        scale = *s;
    }
    screenWidth_ = *width;
    screenHeight_ = *height;
    screenScale_ = scale;
    UIScreen::configure(screenWidth_, screenHeight_, screenScale_);
    return "";
}

std::string DeviceSetUp::cmdApp(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() < 2) return c.usage;
    InstalledApp app;
    app.bundleIdentifier = w[1].text;
    if (app.bundleIdentifier.empty()) return "empty bundle identifier";
    for (size_t i = 2; i < w.size(); ++i) {
        std::string k, v;
        if (!splitOption(w[i].text, k, v)) return "expected KEY=VALUE, not " + w[i].text;
        if (k == "icon") {
            auto b = yesNo(v);
            if (!b) return "icon is yes or no";
            app.hasIcon = *b;
        } else if (k == "badge") {
            Word value;
            value.text = v;
            value.quoted = w[i].raw.find('"') != std::string::npos;
            app.badgeValue = v == "none" && !value.quoted ? nullptr : badgeObject(value);
        } else if (k == "orientation") {
            std::string error;
            auto o = parseOrientation(v, error);
            if (!o) return "app " + app.bundleIdentifier + ": " + error;
            app.orientation = *o;
            app.hasOrientation = true;
        } else {
            return "unknown app option " + k;
        }
    }
    // An app once given an orientation keeps bringing one when installed
    // again without.
    if (auto* existing = configuration_.app(app.bundleIdentifier)) {
        app.hasOrientation = app.hasOrientation || existing->hasOrientation;
        *existing = app;
    } else {
        configuration_.apps.push_back(app);
    }
    return "";
}

std::string DeviceSetUp::cmdAbsent(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() == 2) configuration_.absentClasses.insert(w[1].text);
    else if (w.size() == 3) configuration_.absentMethods.emplace(w[1].text, w[2].text);
    else return c.usage;
    return "";
}

std::string DeviceSetUp::cmdPlugin(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    if (w[1].text == "none" && !w[1].quoted) {
        root_.removePlugins();
        return "";
    }
    return root_.installPlugin(core_.resolvePath(w[1].text));
}

namespace {
// The scenario's own writes to the device's files: made at once rather
// than through the preferences daemon, and kept out of the trace.
class SetUpWrites {
public:
    explicit SetUpWrites(int& suppress) : suppress_(suppress) {
        NSUserDefaults::synchronize();
        NSUserDefaults::setWritesDeferred(false);
        ++suppress_;
    }
    ~SetUpWrites() {
        --suppress_;
        NSUserDefaults::setWritesDeferred(true);
    }
    SetUpWrites(const SetUpWrites&) = delete;
    SetUpWrites& operator=(const SetUpWrites&) = delete;

private:
    int& suppress_;
};
} // namespace

namespace {

// Where a KEY=VALUE word's '=' is: the first outside quotes.
size_t assignmentAt(const std::string& raw) {
    bool inQuote = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (inQuote && raw[i] == '\\') ++i;
        else if (raw[i] == '"') inQuote = !inQuote;
        else if (!inQuote && raw[i] == '=') return i;
    }
    return std::string::npos;
}

// How far [ and { outnumber ] and } outside quotes: a value written with
// spaces inside its brackets ([1, 2]) spans several words.
int openBrackets(const std::string& raw) {
    int depth = 0;
    bool inQuote = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (inQuote && raw[i] == '\\') ++i;
        else if (raw[i] == '"') inQuote = !inQuote;
        else if (!inQuote && (raw[i] == '[' || raw[i] == '{')) ++depth;
        else if (!inQuote && (raw[i] == ']' || raw[i] == '}')) --depth;
    }
    return depth;
}

} // namespace

std::string DeviceSetUp::cmdFileKeys(const CommandCall& c) {
    const Words& w = c.words;
    std::string error;
    std::string file = filePath(w[0].text, error);
    if (w.size() < 2) return c.usage;
    std::vector<std::pair<std::string, id>> entries;
    for (size_t i = 1; i < w.size(); ++i) {
        const size_t first = i;
        std::string raw = w[i].raw;
        while (openBrackets(raw) > 0 && i + 1 < w.size()) {
            ++i;
            raw = c.line.substr(w[first].begin, w[i].end - w[first].begin);
        }
        size_t eq = assignmentAt(raw);
        if (eq == std::string::npos || eq == 0) return "expected KEY=VALUE, not " + raw;
        std::string key = raw.substr(0, eq);
        if (key.size() >= 2 && key.front() == '"' && key.back() == '"') {
            auto k = parseFileKey(key, &error);
            if (!k) return "bad key " + key + ": " + error;
            key = *k;
        } else if (key.find('"') != std::string::npos) {
            ParsedLine k = splitScenarioLine(key);
            if (k.words.size() != 1) return "bad key " + key;
            key = k.words[0].text;
        }
        auto value = parseFileValue(raw.substr(eq + 1), &error);
        if (!value) return error + " (for " + key + ")";
        entries.emplace_back(key, *value);
    }
    std::error_code ec;
    fs::create_directories(fs::path(DevicePaths::map(file)).parent_path(), ec);
    // The scenario's own set-up is no effect of the plugin: not traced,
    // and written before the command ends, so that a failure is its answer.
    SetUpWrites setUp(ownWrites_);
    auto defaults = NSUserDefaults::initWithSuiteName(file);
    bool ok = true;
    for (const auto& [k, v] : entries) ok = defaults->setObjectForKey(v, k) && ok;
    if (file == kSettingsPath) settingsCheck_.check(entries);
    return ok ? "" : "cannot write " + file;
}

std::string DeviceSetUp::cmdRemove(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    SetUpWrites setUp(ownWrites_);
    bool ok = NSUserDefaults::initWithSuiteName(file)->removeObjectForKey(w[2].text);
    return ok ? "" : "cannot write " + file;
}

std::string DeviceSetUp::cmdDelete(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    std::error_code ec;
    fs::remove(DevicePaths::map(file), ec);
    return "";
}

std::string DeviceSetUp::cmdPut(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3) return c.usage;
    std::string error;
    std::string file = filePath(w[1].text, error);
    if (!error.empty()) return error;
    std::string source = core_.resolvePath(w[2].text);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) return "no file " + source;
    fs::path target = DevicePaths::map(file);
    fs::create_directories(target.parent_path(), ec);
    // A new file put in place, as a person's copy over the file would be: a
    // preferences daemon that keeps a copy of the old one does not see it
    // (after boot, an edit behind its back), and a reader sees the old file
    // or the new one.
    fs::path staged = target;
    staged += ".put";
    fs::copy_file(source, staged, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(staged, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(staged, ignored);
        return "cannot copy " + source + ": " + ec.message();
    }
    return "";
}
