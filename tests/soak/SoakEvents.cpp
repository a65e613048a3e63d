#include "soak/SoakEvents.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "foundation/Foundation.h"
#include "sim/Simulator.h"
#include "sim/words/ScenarioWords.h"

const std::vector<SoakApp>& soakApps() {
    static const std::vector<SoakApp> apps{
        {"com.apple.siri", "", true},
        {"com.apple.mobilesafari", "badge=3", true},
        {"com.apple.MobileSMS", "badge=\"12\"", true},
        {"com.example.landscape", "orientation=3", true},
        {"com.example.noicon", "icon=no", true},
        {"com.apple.Music", "", false},
    };
    return apps;
}

const char* soakEventName(SoakEventKind kind) {
    static const char* names[] = {
        "touch down", "touch move", "touch up", "touch cancel", "tap", "drag", "longpress", "menu", "wait",
        "front", "orientation", "cc", "lockstate", "uilocked", "query uilocked", "lockscreen dismiss", "passcode",
        "badge", "call", "siri visible", "siri framework",
        "settings", "settings (direct)", "notify settings", "remove settings", "state", "state (direct)",
        "respring",
    };
    static_assert(sizeof names / sizeof names[0] == static_cast<size_t>(SoakEventKind::Count));
    return names[static_cast<size_t>(kind)];
}

namespace {

struct Weighted {
    SoakEventKind kind;
    unsigned weight;
};

// How often each event comes, per thousand (menu picks and resprings are
// chosen apart: see next()).
const std::vector<Weighted> kWeights{
    {SoakEventKind::TouchDown, 50},     {SoakEventKind::TouchMove, 50},      {SoakEventKind::TouchUp, 40},
    {SoakEventKind::TouchCancel, 8},    {SoakEventKind::Tap, 90},            {SoakEventKind::Drag, 70},
    {SoakEventKind::LongPress, 45},     {SoakEventKind::Wait, 110},          {SoakEventKind::Front, 60},
    {SoakEventKind::Orientation, 30},   {SoakEventKind::ControlCenter, 30},  {SoakEventKind::LockState, 25},
    {SoakEventKind::UILocked, 15},      {SoakEventKind::QueryUILocked, 15},  {SoakEventKind::LockScreenDismiss, 15},
    {SoakEventKind::Passcode, 20},      {SoakEventKind::Badge, 40},          {SoakEventKind::Call, 30},
    {SoakEventKind::SiriVisible, 10},   {SoakEventKind::SiriFramework, 5},   {SoakEventKind::Settings, 60},
    {SoakEventKind::SettingsDirect, 12}, {SoakEventKind::NotifySettings, 25}, {SoakEventKind::RemoveSetting, 8},
    {SoakEventKind::State, 20},         {SoakEventKind::StateDirect, 5},
};

unsigned totalWeight() {
    unsigned sum = 0;
    for (const auto& w : kWeights) sum += w.weight;
    return sum;
}

} // namespace

SoakSettingKeys describedSettingKeys(const std::string& deviceTemplate) {
    Simulator::Options o;
    o.deviceTemplate = deviceTemplate;
    o.keepTrace = false;
    Simulator sim(std::move(o));
    Json description = sim.describePlugin();
    SoakSettingKeys keys;
    if (!description.is_object()) return keys;
    for (const Json& s : description["settings"]) {
        const std::string type = s["type"];
        auto& list = type == "boolean" ? keys.flags : type == "number" ? keys.numbers : keys.colours;
        list.push_back(s["key"]);
    }
    return keys;
}

SoakEventGenerator::SoakEventGenerator(uint64_t seed, SoakSettingKeys keys) : rng_(seed), keys_(std::move(keys)) {}

double SoakEventGenerator::uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng_() >> 11) * 0x1.0p-53;
}

std::string SoakEventGenerator::number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// A point on (or just off) the screen, or one near a bubble's centre.
std::string SoakEventGenerator::point(const SoakView& view, bool nearBubble) {
    double x, y;
    if (nearBubble && !view.bubbles.empty()) {
        const auto& b = pick(view.bubbles);
        x = b.x + uniform(-12, 12);
        y = b.y + uniform(-12, 12);
    } else {
        x = uniform(-20, view.screenWidth + 20);
        y = uniform(-20, view.screenHeight + 20);
    }
    return number(x, 2) + "," + number(y, 2);
}

std::string SoakEventGenerator::target(const SoakView& view) {
    if (!view.bubbles.empty() && chance(80)) return "bubble#" + std::to_string(below(view.bubbles.size()));
    return point(view, false);
}

// A value of any type the scenario language spells.
std::string SoakEventGenerator::anyValue() {
    switch (below(5)) {
    case 0:
        return chance(50) ? "true" : "false";
    case 1: {
        static const std::vector<std::string> ints{"0", "1", "-1", "2", "7", "50", "-2147483648",
                                                   "9223372036854775807", "-9223372036854775807"};
        return chance(70) ? pick(ints) : std::to_string(static_cast<int64_t>(below(2000000)) - 1000000);
    }
    case 2: {
        static const std::vector<std::string> reals{"0.0", "-0.5", "3.25", "1.0e30", "-1.0e300", "1.0e-300",
                                                    "123456789.125", "0.001", "-70.0"};
        return chance(70) ? pick(reals) : number(uniform(-1000, 1000), 3);
    }
    case 3: {
        static const std::vector<std::string> texts{"", "yes", "NO", "1", "0", "garbage", "#00ff00", "50",
                                                    "say \"hi\"", "日本語", "#", "  7"};
        if (chance(5)) return quoteText(std::string(300, 'w'));
        return quoteText(pick(texts));
    }
    default: {
        static const std::vector<std::string> arrays{"[]", "[1,2]", "[\"a\",[true]]", "[1.5,2.5,3.5]",
                                                     "[[[[1]]]]", "[\"#ff0000\"]"};
        return pick(arrays);
    }
    }
}

std::string SoakEventGenerator::settingsValue(const std::string& key) {
    bool rightType = chance(70);
    const auto& numbers = keys_.numbers;
    if (std::find(numbers.begin(), numbers.end(), key) != numbers.end()) {
        if (!rightType) return chance(30) ? pick(std::vector<std::string>{"0.0", "-20.0", "1.0e6", "0.01", "5000"})
                                          : anyValue();
        return chance(80) ? number(uniform(20, 90), 1) : std::to_string(10 + below(90));
    }
    for (const auto& k : keys_.colours)
        if (key == k) {
            if (!rightType) return anyValue();
            if (chance(80)) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "#%06x", static_cast<unsigned>(below(0x1000000)));
                return quoteText(buf);
            }
            return quoteText(pick(std::vector<std::string>{"", "#12", "red", "#gggggg", "0xff0000", "#ff00ff:0.5",
                                                           "#FFFFFF", "rgb(1,2,3)"}));
        }
    if (!rightType) return anyValue();
    // The modes that hide the overlay are mostly off, or the bubbles would
    // be hidden most of the time and touches would find none.
    static const std::vector<std::string> hiding{"isAppsOnly", "isInAppOnly", "isLSOnly", "isSBOnly", "isHiddenInLS"};
    unsigned trueChance = key == "isEnabled" ? 90 : 50;
    for (const auto& k : hiding)
        if (key == k) trueChance = 10;
    return chance(trueChance) ? "true" : "false";
}

// One key of the state file and its value: saved positions of good and bad
// shapes, hide flags of any type, and now and then the choice of apps.
std::string SoakEventGenerator::stateKeyValue(bool& changesChoice) {
    const auto& apps = soakApps();
    std::string bundle = chance(90) ? pick(apps).bundle : pick(std::vector<std::string>{"com.unknown.app", ""});
    switch (below(10)) {
    case 0:
        changesChoice = true;
        return quoteText("FLTTILE-" + bundle) + "=" + (chance(80) ? "true" : chance(50) ? "false" : anyValue());
    case 1:
    case 2:
    case 3:
        return quoteText("HIDAPPS-" + bundle) + "=" + (chance(40) ? (chance(50) ? "true" : "false") : anyValue());
    default:
        if (chance(65))
            return quoteText("POSAPPS-" + bundle) + "=[" + number(uniform(-100, 500), 2) + "," +
                   number(uniform(-100, 800), 2) + "]";
        return quoteText("POSAPPS-" + bundle) + "=" +
               (chance(50) ? pick(std::vector<std::string>{"[1]", "[]", "[\"a\",\"b\"]", "[1.0,2.0,3.0]",
                                                           "[true,false]", "[[1.0],[2.0]]", "[1.0e300,-1.0e300]"})
                           : anyValue());
    }
}

// A value the scenario language cannot spell.
id SoakEventGenerator::exoticValue(std::string& description) {
    switch (below(10)) {
    case 0:
        description = "nan";
        return NSNumber::numberWithDouble(std::numeric_limits<double>::quiet_NaN());
    case 1:
        description = "inf";
        return NSNumber::numberWithDouble(std::numeric_limits<double>::infinity());
    case 2:
        description = "-inf";
        return NSNumber::numberWithDouble(-std::numeric_limits<double>::infinity());
    case 3:
        description = "float 3.4e38";
        return NSNumber::numberWithFloat(std::numeric_limits<float>::max());
    case 4:
        description = "uint64 max";
        return NSNumber::numberWithUnsignedLongLong(std::numeric_limits<uint64_t>::max());
    case 5:
        description = "data";
        return std::make_shared<NSData>(std::vector<uint8_t>{0, 0xff, 0x23, 0x41});
    case 6:
        description = "date";
        return std::make_shared<NSDate>(uniform(-1e9, 1e9));
    case 7: {
        description = "dictionary";
        auto d = std::make_shared<NSMutableDictionary>();
        d->setObjectForKey(NSNumber::numberWithInteger(1), "a");
        d->setObjectForKey(str("#ff0000"), "colour");
        return d;
    }
    case 8: {
        description = "array nested 40 deep";
        id inner = NSNumber::numberWithDouble(1.5);
        for (int i = 0; i < 40; ++i) {
            auto a = std::make_shared<NSMutableArray>();
            a->addObject(inner);
            inner = a;
        }
        return inner;
    }
    default: {
        description = "text of 20000 characters";
        return str(std::string(20000, 'z'));
    }
    }
}

SoakEvent SoakEventGenerator::next(const SoakView& view) {
    SoakEvent e;
    const auto& apps = soakApps();
    // Resprings now and then; with an alert up, usually a pick from it.
    if (below(2000) == 0) {
        e.kind = SoakEventKind::Respring;
        e.line = "respring";
        return e;
    }
    if (!view.alertActions.empty() && chance(45)) {
        e.kind = SoakEventKind::Menu;
        e.line = "menu " + quoteText(pick(view.alertActions));
        return e;
    }
    // A finger that is down mostly goes on moving, then lifts.
    if (view.touchActive && chance(60)) {
        e.kind = chance(70) ? SoakEventKind::TouchMove : SoakEventKind::TouchUp;
        double x = view.touchX + uniform(-60, 60), y = view.touchY + uniform(-60, 60);
        e.line = std::string(e.kind == SoakEventKind::TouchMove ? "touch move " : "touch up ") + number(x, 2) + "," +
                 number(y, 2);
        return e;
    }
    static const unsigned total = totalWeight();
    unsigned roll = static_cast<unsigned>(below(total));
    for (const auto& w : kWeights) {
        if (roll < w.weight) {
            e.kind = w.kind;
            break;
        }
        roll -= w.weight;
    }

    switch (e.kind) {
    case SoakEventKind::TouchMove:
    case SoakEventKind::TouchUp:
        if (!view.touchActive) {
            e.kind = SoakEventKind::TouchDown;
            e.line = "touch down " + point(view, chance(60));
        } else {
            double x = view.touchX + uniform(-60, 60), y = view.touchY + uniform(-60, 60);
            e.line = std::string(e.kind == SoakEventKind::TouchMove ? "touch move " : "touch up ") + number(x, 2) +
                     "," + number(y, 2);
        }
        break;
    case SoakEventKind::TouchDown:
        e.line = "touch down " + point(view, chance(60));
        break;
    case SoakEventKind::TouchCancel:
        e.line = "touch cancel";
        break;
    case SoakEventKind::Tap:
        e.line = "tap " + target(view);
        break;
    case SoakEventKind::Drag: {
        double x = chance(20) ? uniform(-200, view.screenWidth + 200) : uniform(0, view.screenWidth);
        double y = chance(20) ? uniform(-200, view.screenHeight + 200) : uniform(0, view.screenHeight);
        e.line = "drag " + target(view) + " to " + number(x, 2) + "," + number(y, 2) +
                 " steps=" + std::to_string(1 + below(15));
        break;
    }
    case SoakEventKind::LongPress: {
        static const std::vector<std::string> durations{"0.3", "0.5", "0.6", "0.6", "0.6", "0.8", "1.2", "2.0"};
        e.line = "longpress " + target(view) + " for=" + pick(durations);
        break;
    }
    case SoakEventKind::Wait: {
        unsigned r = static_cast<unsigned>(below(100));
        double s = r < 55 ? uniform(0, 1) : r < 80 ? uniform(1, 3) : r < 97 ? uniform(7.5, 9.5) : uniform(10, 40);
        e.line = "wait " + number(s, 3);
        break;
    }
    case SoakEventKind::Front: {
        unsigned r = static_cast<unsigned>(below(100));
        e.line = "front " + (r < 55 ? pick(apps).bundle : r < 85 ? std::string("home") : std::string("other"));
        break;
    }
    case SoakEventKind::Orientation: {
        static const std::vector<std::string> codes{"1", "1", "1", "2",      "3",       "4",
                                                    "3", "4", "0", "code=5", "code=-1", "code=99"};
        static const std::vector<std::string> notify{"both", "both", "darwin", "local", "none"};
        e.line = "orientation " + pick(codes) + " notify=" + pick(notify);
        break;
    }
    case SoakEventKind::ControlCenter:
        e.line = chance(50) ? "cc present" : "cc dismiss";
        break;
    case SoakEventKind::LockState: {
        static const std::vector<std::string> states{"0", "1", "3", "0", "1", "3", "2", "4294967295", "-1"};
        e.line = "lockstate " + pick(states);
        break;
    }
    case SoakEventKind::UILocked:
        e.line = chance(50) ? "uilocked yes" : "uilocked no";
        break;
    case SoakEventKind::QueryUILocked:
        e.line = "query uilocked";
        break;
    case SoakEventKind::LockScreenDismiss:
        e.line = "lockscreen dismiss";
        break;
    case SoakEventKind::Passcode:
        e.line = chance(50) ? "passcode appear" : "passcode disappear";
        break;
    case SoakEventKind::Badge: {
        static const std::vector<std::string> values{"none", "0", "1", "7", "99", "100", "12345", "-5",
                                                     "1099511627776", "\"3\"", "\"\"", "\"12abc\"", "\"日本\"",
                                                     "\"  7\"", "new", "\"9999999999999999999999\""};
        e.line = "badge " + pick(apps).bundle + " " + (chance(30) ? std::to_string(below(150)) : pick(values));
        break;
    }
    case SoakEventKind::Call: {
        static const std::vector<std::string> calls{"0", "1", "2", "3", "4", "5", "6", "7", "3", "4", "5", "1",
                                                    "-1", "2147483647", "none", "noobject"};
        e.line = "call " + pick(calls);
        break;
    }
    case SoakEventKind::SiriVisible:
        e.line = chance(50) ? "siri visible yes" : "siri visible no";
        break;
    case SoakEventKind::SiriFramework:
        e.line = chance(70) ? "siri framework yes" : "siri framework no";
        break;
    case SoakEventKind::Settings: {
        unsigned r = static_cast<unsigned>(below(100));
        std::string key = r < 60   ? pickKey(keys_.flags)
                          : r < 80 ? pickKey(keys_.numbers)
                          : r < 97 ? pickKey(keys_.colours)
                                   : "someOtherKey";
        e.line = "settings " + key + "=" + settingsValue(key);
        e.writes = true;
        e.notifyAfter = chance(75);
        break;
    }
    case SoakEventKind::SettingsDirect: {
        unsigned r = static_cast<unsigned>(below(100));
        e.directFile = "settings";
        e.directKey = r < 50 ? pickKey(keys_.flags) : r < 80 ? pickKey(keys_.numbers) : pickKey(keys_.colours);
        std::string description;
        e.directValue = exoticValue(description);
        e.line = "# settings " + e.directKey + " = " + description + " (direct)";
        e.writes = true;
        e.notifyAfter = chance(75);
        break;
    }
    case SoakEventKind::NotifySettings:
        e.line = "notify settings";
        break;
    case SoakEventKind::RemoveSetting: {
        std::string key = chance(70)   ? pickKey(keys_.flags)
                          : chance(50) ? pickKey(keys_.numbers)
                                       : pickKey(keys_.colours);
        e.line = "remove settings " + key;
        e.writes = true;
        e.notifyAfter = chance(75);
        break;
    }
    case SoakEventKind::State: {
        e.line = "state " + stateKeyValue(e.changesChoice);
        e.writes = true;
        break;
    }
    case SoakEventKind::StateDirect: {
        const auto& bundle = pick(apps).bundle;
        e.directFile = "state";
        e.directKey = (chance(50) ? "POSAPPS-" : "HIDAPPS-") + bundle;
        std::string description;
        e.directValue = exoticValue(description);
        e.line = "# state " + e.directKey + " = " + description + " (direct)";
        e.writes = true;
        break;
    }
    case SoakEventKind::Menu:
    case SoakEventKind::Respring:
    case SoakEventKind::Count:
        e.line = "wait 0.1";
        e.kind = SoakEventKind::Wait;
        break;
    }
    return e;
}
