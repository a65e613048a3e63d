// JSON pointers into the dump, with one addition: an array step that is
// not a number picks the element whose "bundle" member is that text, so
// "/bubbles/com.apple.siri/alpha" names a bubble by its app, and a "*"
// step stands for every element.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// The value at pointer, or nullptr with the reason in *error.
const Json* resolvePointer(const Json& root, const std::string& pointer, std::string* error = nullptr);

// A step "*" stands for every element of an array (or member of an
// object): "/bubbles/*/hidden" is each bubble's. One match per value
// reached, named by its own path (an element with a bundle by its bundle);
// a match whose value is nullptr says in `missing` why it was not there.
// Empty with the reason in *error for a malformed pointer.
struct PointerMatch {
    std::string path;
    const Json* value;
    std::string missing;
};
std::vector<PointerMatch> resolvePointerAll(const Json& root, const std::string& pointer, std::string* error = nullptr);

// `expect` operators: == != < <= > >= and ~ (numbers within 0.001, arrays
// and objects member by member). Answers whether actual OP expected holds;
// an operator that cannot compare the two (a string < a number) answers
// false with the reason in *error.
bool compareJson(const Json& actual, const std::string& op, const Json& expected, std::string* error = nullptr);
bool isComparisonOperator(const std::string& op);
