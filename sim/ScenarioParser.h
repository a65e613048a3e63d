// The scenario language's values: what the words of a line (split by
// sim/words/ScenarioWords.h) mean as file values, points and numbers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "sim/words/ScenarioWords.h"

// A file VALUE: true/false, an integer, a real (with a point), a
// double-quoted text, or [V,V,...]. nullopt with a reason for anything
// else.
std::optional<id> parseFileValue(const std::string& raw, std::string* error = nullptr);

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
// A badge VALUE: an integer becomes an NSNumber, any other text (or a
// quoted one) an NSString.
id badgeObject(const Word& word);
