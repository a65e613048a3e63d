// The values `settings` and `state` lines write into the device's files:
// every property-list type, read from a scenario word and written back as
// one, so that a recording can carry any value the files hold.
//
//   true  false                       Boolean
//   -42  18446744073709551615          integer (past 2^63-1: unsigned)
//   0.5  3.0  -1.25e-3  real:nan  real:inf  real:-inf
//                                      real (a point makes it one)
//   "text"                             text; \" \\ \n \r \t and \u{HEX}
//                                      inside, every other character as is
//   date:2024-05-01T12:30:00Z  date:2024-05-01T12:30:00.25Z
//   date:736252200.125                 date (UTC; or seconds since 2001)
//   data:SGVsbG8=  data:               data, in base64
//   [V,V,...]                          array
//   {KEY:V,"two words":V,...}          dictionary (a KEY with anything
//                                      but letters, digits, . _ - quoted)
//
// Inside [] and {} spaces around the parts are allowed.
#pragma once

#include <optional>
#include <string>

#include "runtime/Runtime.h"

// A file VALUE as above; nullopt with a reason for anything else.
std::optional<id> parseFileValue(const std::string& raw, std::string* error = nullptr);

// The word that parseFileValue reads back as an equal value of the same
// type, with no space outside quotes; "" for something no property list
// holds.
std::string formatFileValue(const NSObject* value);
// The type's name as a person reads it: "text", "integer", "real",
// "Boolean", "date", "data", "array" or "dictionary"; "" for anything else.
std::string fileValueType(const NSObject* value);
// KEY=VALUE, the key quoted when it needs to be.
std::string formatFileEntry(const std::string& key, const NSObject* value);
// A quoted text with the escapes above (the reverse of a VALUE's text).
std::string quoteFileText(const std::string& text);
// A key as written before '=': a quoted text is read with the escapes
// above; anything else is taken as it stands.
std::optional<std::string> parseFileKey(const std::string& raw, std::string* error = nullptr);
