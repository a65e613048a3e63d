// Property-list values (and the plugin's exported variables) as JSON.
#pragma once

#include "runtime/Runtime.h"
#include "sim/JsonPointer.h"

// NSNumber keeps its kind (a Boolean stays true/false, an integer stays an
// integer), NSNull and nil give null, NSData gives "base64:...", NSDate its
// seconds since the reference date, and any other object its description.
Json plistToJson(const NSObject* value);
