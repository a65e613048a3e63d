#include "playground/server/Recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace playground {

namespace {

constexpr double kTicksPerSecond = 10000;

// The longest comment or trace text a check carries.
constexpr size_t kMaxText = 200;

// A recording left running does not grow without end: past this many
// lines it stops, saying so in its last line.
constexpr size_t kMaxLines = 50000;

bool printableLine(const std::string& text) {
    return !text.empty() && text.size() <= kMaxText &&
           std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string expectLine(const std::string& pointer, const char* op, const Json& value) {
    return "expect " + pointer + " " + op + " " + value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Numbers are compared within the language's tolerance: a value read back
// from a file or a frame may differ in its last digits.
const char* opFor(const Json& value) {
    if (value.is_number_float()) return "~";
    if (value.is_array() && std::any_of(value.begin(), value.end(), [](const Json& v) { return v.is_number_float(); }))
        return "~";
    return "==";
}

} // namespace

void Recorder::begin() {
    state_ = State::Armed;
    lines_.clear();
    ++revision_;
}

void Recorder::end() {
    if (state_ == State::Off) return;
    state_ = State::Off;
    ++revision_;
}

void Recorder::started() {
    if (state_ == State::Off) return;
    state_ = State::Keeping;
    lines_.clear();
    ++revision_;
}

void Recorder::push(std::string text, long long ticks) {
    if (lines_.size() + 1 >= kMaxLines) {
        lines_.push_back({nextId_++, "# the recording stopped here: it reached its most lines"});
        state_ = State::Off;
    } else {
        lines_.push_back({nextId_++, std::move(text), ticks});
    }
    ++revision_;
}

void Recorder::sent(const std::string& line) {
    if (state_ != State::Keeping) return;
    if (auto ticks = waitTicks(line)) {
        if (*ticks <= 0) return;
        // The clock's steps between two actions are one wait: the replay's
        // clock reaches the same instants, and timers fire at their own
        // times within a wait however it is cut.
        if (!lines_.empty() && lines_.back().waitTicks >= 0) {
            lines_.back().waitTicks += *ticks;
            lines_.back().text = waitLine(lines_.back().waitTicks);
            ++revision_;
            return;
        }
        push(waitLine(*ticks), *ticks);
        return;
    }
    push(line);
}

void Recorder::files(const Json& status, const Json& words) {
    if (state_ != State::Keeping) return;
    for (const char* file : {"settings", "state"}) {
        const Json& s = status.is_object() && status.contains(file) ? status[file] : Json();
        if (s == "unreadable") {
            push(std::string("# the ") + file + " file was not a property list: the replay starts without it");
            continue;
        }
        // Every key as the simulator writes it: the one writer of the
        // syntax its `settings`/`state` lines read back.
        if (!words.is_object() || !words.contains(file) || !words[file].is_object()) continue;
        for (const auto& [key, word] : words[file].items()) {
            const Json& entry = word.is_object() && word.contains("entry") ? word["entry"] : Json();
            if (entry.is_string()) push(std::string(file) + " " + entry.get<std::string>());
        }
    }
}

void Recorder::add(const std::string& line) {
    if (state_ == State::Keeping) push(line);
}

bool Recorder::remove(long long id) {
    auto it = std::find_if(lines_.begin(), lines_.end(), [&](const Line& l) { return l.id == id; });
    if (it == lines_.end()) return false;
    lines_.erase(it);
    ++revision_;
    return true;
}

namespace {

const char* const kScenarioHeader =
    "# Recorded in the FloatTiles playground: a start of the home screen and what was done after it.\n"
    "# Replay it with: springboard-sim run FILE\n";

} // namespace

std::string Recorder::scenario() const {
    std::string out = kScenarioHeader;
    for (const auto& l : lines_) out += l.text + "\n";
    return out;
}

int Recorder::firstLine() {
    return 1 + static_cast<int>(std::count(kScenarioHeader, kScenarioHeader + std::strlen(kScenarioHeader), '\n'));
}

std::optional<long long> waitTicks(const std::string& line) {
    if (line.rfind("wait ", 0) != 0) return std::nullopt;
    const char* start = line.c_str() + 5;
    char* end = nullptr;
    double seconds = std::strtod(start, &end);
    if (end == start || *end != '\0' || !std::isfinite(seconds) || seconds < 0) return std::nullopt;
    return std::llround(seconds * kTicksPerSecond);
}

std::string waitLine(long long ticks) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "wait %lld.%04lld", ticks / 10000, ticks % 10000);
    std::string s = buf;
    // Trailing zeros say nothing; one digit after the point stays.
    while (s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
    return s;
}

std::string pointerStep(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '~') out += "~0";
        else if (c == '/') out += "~1";
        else out += c;
    }
    return out;
}

std::vector<std::string> bubbleChecks(const Json& bubble) {
    if (!bubble.is_object() || !bubble.contains("bundle") || !bubble["bundle"].is_string()) return {};
    std::string base = "/bubbles/" + pointerStep(bubble["bundle"].get<std::string>());
    bool hidden = bubble.value("hidden", false);
    std::vector<std::string> out{expectLine(base + "/hidden", "==", hidden)};
    if (hidden) return out;
    if (bubble.contains("center")) out.push_back(expectLine(base + "/center", "~", bubble["center"]));
    if (bubble.contains("alpha")) out.push_back(expectLine(base + "/alpha", "~", bubble["alpha"]));
    const Json& badge = bubble.contains("badge") ? bubble["badge"] : Json();
    if (badge.is_object() && badge.contains("label") && badge["label"].is_object() && badge["label"].contains("text"))
        out.push_back(expectLine(base + "/badge/label/text", "==", badge["label"]["text"]));
    return out;
}

std::vector<std::string> windowChecks(size_t index, const Json& window) {
    if (!window.is_object()) return {};
    std::string base = "/windows/" + std::to_string(index);
    std::vector<std::string> out;
    for (const char* key : {"class", "hidden", "frame"})
        if (window.contains(key)) out.push_back(expectLine(base + "/" + key, opFor(window[key]), window[key]));
    return out;
}

std::vector<std::string> fileChecks(const std::string& file, const std::string& key, const Json& files) {
    if (file != "settings" && file != "state") return {};
    const Json& contents = files.is_object() && files.contains(file) ? files[file] : Json();
    Json value = contents.is_object() && contents.contains(key) ? contents[key] : Json();
    return {expectLine("/files/" + file + "/" + pointerStep(key), opFor(value), value)};
}

std::vector<std::string> hostChecks(const Json& host) {
    if (!host.is_object()) return {};
    std::vector<std::string> out;
    for (const char* key : {"front", "uiLocked"})
        out.push_back(expectLine(std::string("/host/") + key, "==", host.contains(key) ? host[key] : Json()));
    return out;
}

std::optional<std::string> traceCheck(const std::string& traceLine) {
    std::string event = traceLine;
    if (!event.empty() && event[0] == '[') {
        size_t close = event.find("] ");
        if (close != std::string::npos) event = event.substr(close + 2);
    }
    if (!printableLine(event)) return std::nullopt;
    return "expect trace " + quoteWord(event);
}

std::optional<std::string> echoLine(const std::string& text) {
    if (!printableLine(text) || std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; })) return std::nullopt;
    return "echo " + quoteWord(text);
}

} // namespace playground
