// libcolorpicker's colour strings. Accepted forms (letters in either case):
//   "#rrggbb"    the colour with those red, green and blue bytes
//   "rrggbb"     the same without "#"
//   "#rgb"       each digit doubled ("#f80" is "#ff8800")
//   any of these followed by ":alpha", alpha a number from 0 to 1
// Leading and trailing white space is ignored. An empty, absent or
// unreadable text gives the colour of the fallback text, and if that cannot
// be read either, opaque black. Parsing is done afresh at every call.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/Foundation.h"
#include "uikit/UIColor.h"

std::shared_ptr<UIColor> LCPParseColorString(const NSString* text, const std::string& fallback);
std::shared_ptr<UIColor> LCPParseColorString(const std::string& text, const std::string& fallback);

// The components of a colour string, or nothing if it cannot be read.
std::optional<CGColor> LCPColorFromString(const std::string& text);
