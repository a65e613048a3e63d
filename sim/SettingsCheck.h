// Warnings for settings a scenario writes that the plugin will not read:
// a key it has no row for, or a value with no reading of the key's type.
// The plugin ignores both, as on the phone; the warning says so on the
// trace, with the nearest key it does read, so a wrong guess is not
// silent. What the plugin reads comes from its own table (describe).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Runtime.h"
#include "sim/JsonPointer.h"

class SimulatorCore;

class SettingsCheck {
public:
    explicit SettingsCheck(SimulatorCore& core) : core_(core) {}
    // Settings written before the plugin is loaded wait for the boot.
    void check(const std::vector<std::pair<std::string, id>>& entries);
    // A new boot: its plugin describes itself anew.
    void booted();

private:
    void checkOne(Json& table, const std::string& key, const id& value);
    void warnUnknown(Json& table, const std::string& key);

    SimulatorCore& core_;
    std::vector<std::pair<std::string, id>> unchecked_;
    // The plugin's description, asked once per boot: its table does not
    // change while it runs.
    std::optional<Json> description_;
};
