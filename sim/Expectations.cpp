// `expect`: what a scenario says must hold, of the dump, the trace or a
// file's bytes.
#include "sim/Simulator.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/DevicePaths.h"
#include "sim/ScenarioParser.h"

namespace fs = std::filesystem;

std::string Simulator::cmdExpect(const Call& c) {
    const Words& w = c.words;
    // Trace expectations read the trace in order: `expect trace` looks
    // after the line the previous `expect trace` matched, so consecutive
    // ones check that things happened in that order; `expect no-trace`
    // looks at what happened since the previous expectation. A run of `expect no-trace` lines shares one window: each looks at
    // what the commands before the run did. Right after another kind of
    // expectation a no-trace would look at nothing and pass whatever the
    // phone did, so that is refused.
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
    if (expected.is_discarded()) return "the value is not JSON: " + valueText;
    Json d = dump();
    std::string error;
    // A member that is not there reads as null, so "== null" can say that
    // something is gone.
    static const Json missing = nullptr;
    std::string where;
    const Json* actual = resolvePointer(d, pointer, &where);
    if (!actual) actual = &missing;
    bool ok = compareJson(*actual, op, expected, &error);
    if (ok) return "";
    if (!error.empty()) return "expect failed: " + pointer + ": " + error;
    return "expect failed: " + pointer + " is " + (where.empty() ? actual->dump() : "missing (" + where + ")") +
           ", expected " + op + " " + expected.dump();
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
