// The scenario language's values: what the words of a line (split by
// sim/words/ScenarioWords.h) mean as file values, points and numbers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "sim/words/ScenarioWords.h"

// "X,Y" in screen points.
struct ScreenPoint {
    double x = 0, y = 0;
};
std::optional<ScreenPoint> parsePoint(const std::string& text);
// A plain number (integer or real, optional sign).
std::optional<double> parseNumber(const std::string& text);

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
