// The scenario language's words and values.
//
// One command per line; words are separated by spaces or tabs. A double
// quote starts a text that runs to the next unescaped double quote (\" and
// \\ inside it); quoted and plain pieces that touch make one word
// (name="two words"). A '#' that begins a word outside quotes starts a
// comment, so bubble#2 and "#00ff00" are words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/Runtime.h"

struct Word {
    std::string text;     // quotes removed, escapes resolved
    std::string raw;      // as written
    bool quoted = false;  // some part of it was quoted
    size_t begin = 0;     // offsets of raw in the line
    size_t end = 0;
};

struct ParsedLine {
    std::vector<Word> words;
    std::string error;    // non-empty when the line cannot be split
};

ParsedLine splitScenarioLine(const std::string& line);

// "X,Y" in screen points.
struct ScreenPoint {
    double x = 0, y = 0;
};
std::optional<ScreenPoint> parsePoint(const std::string& text);
// A plain number (integer or real, optional sign).
std::optional<double> parseNumber(const std::string& text);

// A text in double quotes, `"` and `\` escaped, as trace lines and
// reasons show it.
std::string quoteText(const std::string& text);
// key=value options after the positional words.
bool splitOption(const std::string& word, std::string& key, std::string& value);
// yes/true or no/false.
std::optional<bool> yesNo(const std::string& text);
// A number with no fraction, within what a long long holds.
std::optional<long long> parseInteger(const std::string& text);
// An interface orientation as the platform numbers it: a name
// ("portrait", "upside down", "landscape left", "landscape right", with a
// space or a hyphen), its number 1 to 4, or 0 (unknown). nullopt with a
// reason that lists them for anything else.
std::optional<long long> parseOrientation(const std::string& text, std::string& error);
// A badge VALUE: an integer becomes an NSNumber, any other text (or a
// quoted one) an NSString.
id badgeObject(const Word& word);
