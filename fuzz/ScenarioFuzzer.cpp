// The scenario language's parsing, fed any text: each line of the input
// goes through what the simulator does with a line before it acts on it.
// Splitting into words; file VALUEs of `settings`/`state` KEY=VALUE words;
// numbers and points; and for `expect POINTER OP VALUE`, the JSON pointer
// resolved against a dump and the JSON value compared with what it finds.
//
// What must hold:
//  - nothing crashes, hangs or recurses without bound;
//  - a line that splits gives words in order, each `raw` the very text of
//    the line between its offsets, an unquoted word's text its raw text;
//  - a number that parses is finite;
//  - a pointer resolves to a value of the dump, or gives a reason.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "sim/FileValue.h"
#include "sim/JsonPointer.h"
#include "sim/ScenarioParser.h"

namespace {

const Json& sampleDump() {
    static const Json dump = Json::parse(R"({
        "time": 1.5,
        "host": {"front": null, "orientation": 1, "apps": [{"bundle": "com.a", "badge": 3}]},
        "bubbles": [{"bundle": "com.a", "frame": [600, 90, 50, 50], "alpha": 1, "badge": null},
                    {"bundle": "a/b~c", "frame": [1, 2, 3, 4], "alpha": 0.3}],
        "plugin": {"bubbleSize": 50, "globalBoundColor": null, "isEnabled": true},
        "files": {"settings": {"a/b": 1, "t~x": [true, "x", 2.5]}, "state": null},
        "": {"": 0}
    })");
    return dump;
}

void checkWords(const std::string& line, const ParsedLine& parsed) {
    size_t last = 0;
    for (const Word& w : parsed.words) {
        fuzz::check(w.begin >= last && w.begin < w.end && w.end <= line.size(), "a word's offsets are out of order");
        fuzz::check(w.raw == line.substr(w.begin, w.end - w.begin), "a word's raw text is not the line's");
        if (!w.quoted) fuzz::check(w.text == w.raw, "an unquoted word's text differs from its raw text");
        last = w.end;
    }
}

void tryValues(const Word& w) {
    if (auto n = parseNumber(w.text)) fuzz::check(std::isfinite(*n), "a number parsed to infinity or NaN");
    if (auto p = parsePoint(w.text)) fuzz::check(std::isfinite(p->x) && std::isfinite(p->y), "a point is not finite");
    // KEY=VALUE, as `settings` and `state` read it.
    size_t eq = w.raw.find('=');
    std::string value = eq == std::string::npos ? w.raw : w.raw.substr(eq + 1);
    std::string error;
    auto parsed = parseFileValue(value, &error);
    fuzz::check(parsed.has_value() || !error.empty(), "a value was refused without a reason");
    // What a recording writes of a value reads back as the same value.
    if (parsed) {
        std::string written = formatFileValue(parsed->get());
        auto again = parseFileValue(written);
        fuzz::check(again && formatFileValue(again->get()) == written, "a written value does not read back");
    }
    if (eq != std::string::npos && w.raw.substr(0, eq).find('"') != std::string::npos)
        splitScenarioLine(w.raw.substr(0, eq));
}

void tryExpect(const std::string& line, const ParsedLine& parsed) {
    const auto& w = parsed.words;
    std::string error;
    const Json* actual = w.size() >= 2 ? resolvePointer(sampleDump(), w[1].text, &error) : nullptr;
    if (w.size() >= 2) fuzz::check(actual || !error.empty(), "a pointer failed without a reason");
    if (w.size() < 4 || !isComparisonOperator(w[2].text)) return;
    std::string rest = line.substr(w[3].begin);
    ParsedLine full = splitScenarioLine(rest);
    std::string valueText = full.words.empty() ? rest : rest.substr(0, full.words.back().end);
    Json expected = Json::parse(valueText, nullptr, false);
    if (expected.is_discarded()) return;
    static const Json missing = nullptr;
    std::string why;
    compareJson(actual ? *actual : missing, w[2].text, expected, &why);
    // A failed expectation prints the value.
    (void)expected.dump();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        std::string line = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? input.size() + 1 : end + 1;
        ParsedLine parsed = splitScenarioLine(line);
        if (!parsed.error.empty()) continue;
        checkWords(line, parsed);
        for (const Word& w : parsed.words) tryValues(w);
        tryExpect(line, parsed);
    }
    return 0;
}
