// `expect`: what a scenario says must hold, of the dump, the trace or a
// file's bytes.
#include "sim/Simulator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/DevicePaths.h"
#include "runtime/Process.h"
#include "sim/ScenarioParser.h"
#include "sim/Suggest.h"
#include "uikit/UIView.h"
#include "uikit/WindowServer.h"

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

} // namespace

std::string Simulator::cmdExpect(const Call& c) {
    const Words& w = c.words;
    // Trace expectations read the trace in order: `expect trace` looks
    // after the line the previous `expect trace` matched, so consecutive
    // ones check that things happened in that order; `expect no-trace`
    // looks at what happened since the previous expectation. A run of `expect no-trace` lines shares one window: each
    // looks at what the commands before the run did. Right after another kind of expectation a no-trace would look at
    // nothing and pass whatever the phone did, so that is refused.
    // `expect crash` speaks of the command after it: that one must crash
    // the home screen (with TEXT in the reason, if given).
    if (w.size() >= 2 && w[1].text == "crash" && !w[1].quoted) {
        if (w.size() > 3) return "usage: expect crash [\"TEXT\"]";
        expectedCrash_ = w.size() == 3 ? w[2].text : std::string();
        return "";
    }
    bool noTrace = w.size() >= 2 && w[1].text == "no-trace" && !w[1].quoted;
    size_t sinceExpect = expectMark_;
    if (noTrace && !ranSinceExpect_) {
        if (!lastExpectWasNoTrace_)
            return "expect no-trace has nothing to look at: no command ran since the previous expect, and it "
                   "looks only at what happened since then; put it above that expect, right after the command "
                   "it is about";
        sinceExpect = noTraceFrom_;
    }
    noTraceFrom_ = sinceExpect;
    expectMark_ = trace_.size();
    ranSinceExpect_ = false;
    lastExpectWasNoTrace_ = noTrace;
    if (w.size() >= 2 && (w[1].text == "trace" || w[1].text == "no-trace") && !w[1].quoted) {
        if (w.size() != 3) return "usage: expect trace|no-trace \"TEXT\"";
        const std::string& text = w[2].text;
        if (w[1].text == "trace") {
            for (size_t i = traceMark_; i < trace_.size(); ++i)
                if (trace_[i].find(text) != std::string::npos) {
                    traceMark_ = i + 1;
                    return "";
                }
            return "expect failed: no trace line contains " + quoteText(text);
        }
        for (size_t i = sinceExpect; i < trace_.size(); ++i)
            if (trace_[i].find(text) != std::string::npos)
                return "expect failed: a trace line contains " + quoteText(text) + ": " + trace_[i];
        return "";
    }
    if (w.size() >= 2 && w[1].text == "bytes" && !w[1].quoted) return expectBytes(w);
    if (w.size() >= 2 && (w[1].text == "onscreen" || w[1].text == "offscreen") && !w[1].quoted)
        return expectOnScreen(c);
    if (w.size() < 4)
        return c.usage;
    const std::string& pointer = w[1].text;
    const std::string& op = w[2].text;
    if (!isComparisonOperator(op)) return "unknown operator " + op + " (==, !=, <, <=, >, >=, ~)";
    std::string rest = c.line.substr(w[3].begin);
    ParsedLine full = splitScenarioLine(rest);
    // The value runs to the end of the line, less a trailing comment.
    std::string valueText = full.words.empty() ? rest : rest.substr(0, full.words.back().end);
    Json expected = Json::parse(valueText, nullptr, false);
    if (expected.is_discarded()) return "the value is not JSON: " + valueText + jsonHint(valueText);
    Json d = dump();
    std::string error;
    auto matches = resolvePointerAll(d, pointer, &error);
    if (!error.empty()) return "expect failed: " + error;
    if (matches.empty()) return "expect failed: " + pointer + " matches nothing (no element where * stands)";
    // A member that is not there reads as null, so "== null" can say that
    // something is gone. With a *, every element must hold; the first
    // that does not is shown with what surrounds it.
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

// What surrounds a failing value, so that it can be understood without a
// dump: the whole element of a list it belongs to (a bubble, a window),
// or the object that holds it (the host), or for a long one (a file, the
// plugin's variables) the members beside it.
std::string Simulator::surroundings(const Json& d, const std::string& path) {
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

// `expect onscreen|offscreen bubble:BUNDLE`: whether some part of the
// bubble is on the glass where a finger would land on it, found by asking
// the window server what a touch at points across the bubble would hit.
// A hidden, transparent or covered bubble is off screen in this sense.
std::string Simulator::expectOnScreen(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 3 || w[2].text.rfind("bubble:", 0) != 0) return "usage: expect onscreen|offscreen bubble:BUNDLE";
    bool wantOn = w[1].text == "onscreen";
    std::string bundle = w[2].text.substr(7);
    std::shared_ptr<UIView> view;
    std::vector<std::string> bundles;
    for (auto& b : bubbles()) {
        bundles.push_back(b.bundle);
        if (b.bundle == bundle) view = b.view;
    }
    if (!view) return "expect failed: no bubble for " + bundle + didYouMean(bundle, bundles);
    std::optional<CGPoint> reached = reachablePoint(view);
    if (reached.has_value() == wantOn) return "";
    Json d = dump();
    std::string where = "/bubbles/" + bundle;
    const Json* b = resolvePointer(d, where);
    std::string state = b ? " (frame " + (*b)["frame"].dump() + ", hidden " + (*b)["hidden"].dump() + ", alpha " +
                                (*b)["alpha"].dump() + ")"
                          : "";
    char screen[64];
    const CGSize size = screenSize();
    std::snprintf(screen, sizeof screen, "%gx%g", size.width, size.height);
    if (wantOn)
        return "expect failed: bubble " + bundle + " is not on screen where a finger can reach it" + state + " on a " +
               screen + " screen" + (b ? "\n  in " + where + ": " + b->dump() : "");
    char at[64];
    std::snprintf(at, sizeof at, "%g,%g", reached->x, reached->y);
    return "expect failed: bubble " + bundle + " is on screen: a finger at " + at + " reaches it" + state +
           (b ? "\n  in " + where + ": " + b->dump() : "");
}

std::optional<CGPoint> Simulator::reachablePoint(const std::shared_ptr<UIView>& view) {
    if (!Process::exists()) return std::nullopt;
    const CGRect bounds = view->bounds();
    // A grid across the bubble, its edges a hair inside (a rect holds its
    // origin, not its far edge), checked from the middle out so that the
    // point given back is the one a person would aim at.
    const int n = 17;
    const double inside = 1e-3;
    std::vector<CGPoint> points;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            points.push_back({bounds.origin.x + inside + (bounds.size.width - 2 * inside) * i / (n - 1),
                              bounds.origin.y + inside + (bounds.size.height - 2 * inside) * j / (n - 1)});
    const CGPoint mid{CGRectGetMidX(bounds), CGRectGetMidY(bounds)};
    std::stable_sort(points.begin(), points.end(), [&](const CGPoint& a, const CGPoint& b) {
        return std::hypot(a.x - mid.x, a.y - mid.y) < std::hypot(b.x - mid.x, b.y - mid.y);
    });
    const CGSize screen = screenSize();
    for (const auto& p : points) {
        CGPoint s = view->convertPointToScreen(p);
        if (s.x < 0 || s.y < 0 || s.x >= screen.width || s.y >= screen.height) continue;
        auto hit = WindowServer::shared().viewAtPoint(s);
        for (UIView* v = hit.get(); v; v = v->superview())
            if (v == view.get()) return s;
    }
    return std::nullopt;
}

// `expect bytes settings|state PATH`: the file on the device holds exactly
// the bytes of PATH. What a reader makes of a file can hide a change (a
// malformed file reads as nothing before and after); the bytes cannot.
std::string Simulator::expectBytes(const Words& w) {
    if (w.size() != 4) return "usage: expect bytes settings|state PATH";
    std::string error;
    std::string file = filePath(w[2].text, error);
    if (!error.empty()) return error;
    std::string source = resolvePath(w[3].text);
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
