// Reading a request from the page, or a dump, without trusting its shape:
// a member that is missing or of another type reads as null, false or "".
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace playground::request {

using Json = nlohmann::json;

inline Json error(const std::string& reason) { return {{"ok", false}, {"error", reason}}; }

inline const Json& member(const Json& j, const char* key) {
    static const Json null = nullptr;
    if (!j.is_object()) return null;
    auto it = j.find(key);
    return it == j.end() ? null : *it;
}

// A member that is true; false when it is anything else or missing.
inline bool isTrue(const Json& j, const char* key) {
    const Json& v = member(j, key);
    return v.is_boolean() && v.get<bool>();
}

inline bool boolean(const Json& j, const char* key, bool& out) {
    const Json& v = member(j, key);
    if (!v.is_boolean()) return false;
    out = v.get<bool>();
    return true;
}

inline std::string text(const Json& j, const char* key) {
    const Json& v = member(j, key);
    return v.is_string() ? v.get<std::string>() : std::string();
}

} // namespace playground::request
