// JSON pointers into the dump, with one addition: an array step that is
// not a number picks the element whose "bundle" member is that text, so
// "/bubbles/com.apple.siri/alpha" names a bubble by its app.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// The value at pointer, or nullptr with the reason in *error.
const Json* resolvePointer(const Json& root, const std::string& pointer, std::string* error = nullptr);

// `expect` operators: == != < <= > >= and ~ (numbers within 0.001, arrays
// and objects member by member). Answers whether actual OP expected holds;
// an operator that cannot compare the two (a string < a number) answers
// false with the reason in *error.
bool compareJson(const Json& actual, const std::string& op, const Json& expected, std::string* error = nullptr);
bool isComparisonOperator(const std::string& op);
