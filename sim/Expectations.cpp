// `expect`: what a scenario says must hold, of the dump, the trace or a
// file's bytes.
#include "sim/Expectations.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/DevicePaths.h"
#include "sim/DeviceSetUp.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "sim/Suggest.h"
#include "sim/Touches.h"
#include "uikit/UIView.h"

namespace fs = std::filesystem;

namespace {

// What a value that is not JSON was most likely meant to be: a word of
// another language's spelling of true, false or null, or a text without
// its quotes.
std::string jsonHint(const std::string& text) {
    std::string word = text;
    while (!word.empty() && (word.back() == ' ' || word.back() == '\t')) word.pop_back();
    std::string lower;
    for (char ch : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lower == "true" || lower == "yes") return " (did you mean true?)";
    if (lower == "false" || lower == "no") return " (did you mean false?)";
    if (lower == "null" || lower == "none" || lower == "nil") return " (did you mean null?)";
    bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '_' || ch == '#';
    });
    if (plain && !std::isdigit(static_cast<unsigned char>(word[0])) && word[0] != '-')
        return " (a text is written in double quotes: \"" + word + "\")";
    return "";
}

// What surrounds a failing value, so that it can be understood without a
// dump: the whole element of a list it belongs to (a bubble, a window),
// or the object that holds it (the host), or for a long one (a file, the
// plugin's variables) the members beside it.
std::string surroundings(const Json& d, const std::string& path) {
    size_t cut = path.rfind('/');
    if (cut == std::string::npos || cut == 0) return "";
    std::string parentPath = path.substr(0, cut);
    std::string member = path.substr(cut + 1);
    const Json* parent = resolvePointer(d, parentPath);
    if (!parent) return "";
    size_t grand = parentPath.rfind('/');
    const Json* holder = grand == std::string::npos ? nullptr : resolvePointer(d, parentPath.substr(0, grand));
    bool element = holder && holder->is_array();
    const size_t wholeUpTo = 12;
    if (!parent->is_object() || element || parent->size() <= wholeUpTo)
        return "\n  in " + parentPath + ": " + parent->dump();
    // The neighbours of the member (or of where it would be, by name).
    std::vector<std::string> keys;
    for (auto it = parent->begin(); it != parent->end(); ++it) keys.push_back(it.key());
    size_t at = 0;
    while (at < keys.size() && keys[at] != member) ++at;
    if (at == keys.size()) {
        at = 0;
        while (at < keys.size() && keys[at] < member) ++at;
    }
    const size_t side = 3;
    size_t from = at > side ? at - side : 0, to = std::min(keys.size(), at + side + 1);
    std::string out = "\n  beside it in " + parentPath + " (" + std::to_string(keys.size()) + " members): {";
    if (from > 0) out += "..., ";
    for (size_t i = from; i < to; ++i)
        out += (i > from ? ", " : "") + Json(keys[i]).dump() + ": " + (*parent)[keys[i]].dump();
    return out + (to < keys.size() ? ", ...}" : "}");
}

} // namespace

const std::vector<CommandRow<Expectations>>& Expectations::rows() {
    static const std::vector<CommandRow<Expectations>> table = {
        {"expect",
         "expect POINTER OP VALUE | expect trace|no-trace \"TEXT\" | expect onscreen|offscreen bubble:BUNDLE | "
         "expect bytes settings|state PATH | expect crash [\"TEXT\"]",
         CommandPhase::Any, nullptr, &Expectations::cmdExpect},
    };
    return table;
}

// An `expect crash` before speaks of this command.
void Expectations::commandStarts(const std::string& name) {
    armedCrash_.reset();
    if (name != "expect") armedCrash_ = std::exchange(expectedCrash_, std::nullopt);
}

std::string Expectations::commandEnds(const std::string& name, std::string result, const std::string& crash) {
    if (name != "expect" || !crash.empty()) ranSinceExpect_ = true;
    const auto expected = std::exchange(armedCrash_, std::nullopt);
    if (expected) {
        if (crash.empty()) {
            if (result.empty()) result = "expect crash: the home screen did not crash";
        } else if (crash.find(*expected) == std::string::npos) {
            result =
                "expect crash: the home screen crashed with " + quoteText(crash) + ", not with " + quoteText(*expected);
        }
    } else if (!crash.empty()) {
        result =
            "the home screen crashed: " + crash + " (a scenario that expects it says expect crash on the line before)";
    }
    return result;
}

// Trace expectations read the trace in order: `expect trace` looks after
// the line the previous `expect trace` matched, so consecutive ones check
// that things happened in that order; `expect no-trace` looks at what
// happened since the previous expectation. `expect crash` speaks of the
// command after it: that one must crash the home screen (with TEXT in the
// reason, if given).
std::string Expectations::cmdExpect(const CommandCall& c) {
    const Words& w = c.words;
    auto is = [&](const char* word) { return w.size() >= 2 && w[1].text == word && !w[1].quoted; };
    if (is("crash")) {
        if (w.size() > 3) return "usage: expect crash [\"TEXT\"]";
        expectedCrash_ = w.size() == 3 ? w[2].text : std::string();
        return "";
    }
    size_t since = 0;
    if (std::string error = openWindow(is("no-trace"), since); !error.empty()) return error;
    if (is("trace") || is("no-trace")) return expectTrace(w, since);
    if (is("bytes")) return expectBytes(w);
    if (is("onscreen") || is("offscreen")) return expectOnScreen(c);
    return expectValue(c);
}

// A run of `expect no-trace` lines shares one window: each looks at what
// the commands before the run did. Right after another kind of expectation
// a no-trace would look at nothing and pass whatever the phone did, so that
// is refused.
std::string Expectations::openWindow(bool noTrace, size_t& since) {
    since = expectMark_;
    if (noTrace && !ranSinceExpect_) {
        if (!lastExpectWasNoTrace_)
            return "expect no-trace has nothing to look at: no command ran since the previous expect, and it "
                   "looks only at what happened since then; put it above that expect, right after the command "
                   "it is about";
        since = noTraceFrom_;
    }
    noTraceFrom_ = since;
    expectMark_ = core_.trace().size();
    ranSinceExpect_ = false;
    lastExpectWasNoTrace_ = noTrace;
    return "";
}

std::string Expectations::expectTrace(const Words& w, size_t since) {
    if (w.size() != 3) return "usage: expect trace|no-trace \"TEXT\"";
    const std::string& text = w[2].text;
    const auto& trace = core_.trace();
    if (w[1].text == "trace") {
        for (size_t i = traceMark_; i < trace.size(); ++i)
            if (trace[i].find(text) != std::string::npos) {
                traceMark_ = i + 1;
                return "";
            }
        return "expect failed: no trace line contains " + quoteText(text);
    }
    for (size_t i = since; i < trace.size(); ++i)
        if (trace[i].find(text) != std::string::npos)
            return "expect failed: a trace line contains " + quoteText(text) + ": " + trace[i];
    return "";
}

// `expect POINTER OP VALUE`: the value runs to the end of the line, less a
// trailing comment. A member that is not there reads as null, so "== null"
// can say that something is gone. With a *, every element must hold; the
// first that does not is shown with what surrounds it.
std::string Expectations::expectValue(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() < 4) return c.usage;
    const std::string& pointer = w[1].text;
    const std::string& op = w[2].text;
    if (!isComparisonOperator(op)) return "unknown operator " + op + " (==, !=, <, <=, >, >=, ~)";
    std::string rest = c.line.substr(w[3].begin);
    ParsedLine full = splitScenarioLine(rest);
    std::string valueText = full.words.empty() ? rest : rest.substr(0, full.words.back().end);
    Json expected = Json::parse(valueText, nullptr, false);
    if (expected.is_discarded()) return "the value is not JSON: " + valueText + jsonHint(valueText);
    Json d = core_.dump();
    std::string error;
    auto matches = resolvePointerAll(d, pointer, &error);
    if (!error.empty()) return "expect failed: " + error;
    if (matches.empty()) return "expect failed: " + pointer + " matches nothing (no element where * stands)";
    static const Json missing = nullptr;
    size_t failed = 0;
    std::string first;
    for (const auto& m : matches) {
        const Json& actual = m.value ? *m.value : missing;
        std::string why;
        if (compareJson(actual, op, expected, &why)) continue;
        if (failed++) continue;
        if (!why.empty()) first = m.path + ": " + why;
        else
            first = m.path + " is " + (m.value ? actual.dump() : "missing (" + m.missing + ")") + ", expected " + op +
                    " " + expected.dump();
        first += surroundings(d, m.path);
    }
    if (!failed) return "";
    std::string more = failed > 1 ? " (and " + std::to_string(failed - 1) + " more of " +
                                        std::to_string(matches.size()) + " at " + pointer + ")"
                                  : "";
    size_t firstLineEnd = first.find('\n');
    if (firstLineEnd == std::string::npos) firstLineEnd = first.size();
    first.insert(firstLineEnd, more);
    return "expect failed: " + first;
}

// `expect onscreen|offscreen bubble:BUNDLE`: whether some part of the
// bubble is on the glass where a finger would land on it, found by asking
// the window server what a touch at points across the bubble would hit.
// A hidden, transparent or covered bubble is off screen in this sense.
std::string Expectations::expectOnScreen(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 3 || w[2].text.rfind("bubble:", 0) != 0) return "usage: expect onscreen|offscreen bubble:BUNDLE";
    bool wantOn = w[1].text == "onscreen";
    std::string bundle = w[2].text.substr(7);
    std::shared_ptr<UIView> view;
    std::vector<std::string> bundles;
    for (auto& b : core_.bubbles()) {
        bundles.push_back(b.bundle);
        if (b.bundle == bundle) view = b.view;
    }
    if (!view) return "expect failed: no bubble for " + bundle + didYouMean(bundle, bundles);
    std::optional<CGPoint> reached = touches_.reachablePoint(view);
    if (reached.has_value() == wantOn) return "";
    Json d = core_.dump();
    std::string where = "/bubbles/" + bundle;
    const Json* b = resolvePointer(d, where);
    std::string state = b ? " (frame " + (*b)["frame"].dump() + ", hidden " + (*b)["hidden"].dump() + ", alpha " +
                                (*b)["alpha"].dump() + ")"
                          : "";
    char screen[64];
    const CGSize size = core_.screenSize();
    std::snprintf(screen, sizeof screen, "%gx%g", size.width, size.height);
    if (wantOn)
        return "expect failed: bubble " + bundle + " is not on screen where a finger can reach it" + state + " on a " +
               screen + " screen" + (b ? "\n  in " + where + ": " + b->dump() : "");
    char at[64];
    std::snprintf(at, sizeof at, "%g,%g", reached->x, reached->y);
    return "expect failed: bubble " + bundle + " is on screen: a finger at " + at + " reaches it" + state +
           (b ? "\n  in " + where + ": " + b->dump() : "");
}

// `expect bytes settings|state PATH`: the file on the device holds exactly
// the bytes of PATH. What a reader makes of a file can hide a change (a
// malformed file reads as nothing before and after); the bytes cannot.
std::string Expectations::expectBytes(const Words& w) {
    if (w.size() != 4) return "usage: expect bytes settings|state PATH";
    std::string error;
    std::string file = DeviceSetUp::filePath(w[2].text, error);
    if (!error.empty()) return error;
    std::string source = core_.resolvePath(w[3].text);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) return "no file " + source;
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    std::string mapped = DevicePaths::map(file);
    if (!fs::is_regular_file(mapped, ec)) return "expect failed: the " + w[2].text + " file is missing or no file";
    std::string actual = slurp(mapped), expected = slurp(source);
    if (actual == expected) return "";
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return "expect failed: the " + w[2].text + " file (" + std::to_string(actual.size()) + " bytes) differs from " +
           w[3].text + " (" + std::to_string(expected.size()) + " bytes) from byte " + std::to_string(at) + " on";
}
