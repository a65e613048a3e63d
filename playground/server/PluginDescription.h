// What the plugin says of itself, asked once of `springboard-sim describe`:
// its settings table (each key's type, default, bounds, label and help),
// its two files' device paths, its state file's key prefixes. The server
// and the page take these from here and restate none of them.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace playground {

// Runs `program describe` and answers its JSON. Throws std::runtime_error
// when the program cannot be run or answers no description.
nlohmann::json describePlugin(const std::string& program);

} // namespace playground
