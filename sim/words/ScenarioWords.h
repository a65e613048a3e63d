// The scenario language's words: how a line splits into words, and how a
// text is written so that it splits back into one word holding that text.
// It depends on nothing, so that every program that writes or reads
// scenario lines (springboard-sim, the soak, the playground's server)
// links this one library, target `scenariowords`, instead of a copy.
//
// One command per line; words are separated by spaces or tabs. A double
// quote starts a text that runs to the next unescaped double quote (\" and
// \\ inside it; any other backslash is itself); quoted and plain pieces
// that touch make one word (name="two words"). A '#' that begins a word
// outside quotes starts a comment, so bubble#2 and "#00ff00" are words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Word {
    std::string text;    // quotes removed, escapes resolved
    std::string raw;     // as written
    bool quoted = false; // some part of it was quoted
    size_t begin = 0;    // offsets of raw in the line
    size_t end = 0;
};

struct ParsedLine {
    std::vector<Word> words;
    std::string error; // non-empty when the line cannot be split
};

ParsedLine splitScenarioLine(const std::string& line);

// text in double quotes with `"` and `\` escaped: one word whose text is
// text, whatever text holds, so long as it holds no line break (a line
// ends there; see fitsOnOneLine). Trace lines and reasons show texts the
// same way.
std::string quoteText(std::string_view text);

// Whether quoteText(text) can stand in a scenario line: no '\n' or '\r'.
bool fitsOnOneLine(std::string_view text);
