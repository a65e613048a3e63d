// Warnings for settings a scenario writes that the plugin will not read:
// a key it has no row for, or a value with no reading of the key's type.
// The plugin ignores both, as on the phone; the warning says so on the
// trace, with the nearest key it does read, so a wrong guess is not
// silent. What the plugin reads comes from its own table (describe).
#include "sim/Simulator.h"

#include <algorithm>

#include "foundation/Foundation.h"
#include "sim/FileValue.h"
#include "sim/Suggest.h"

void Simulator::checkSettingsKeys(const std::vector<std::pair<std::string, id>>& entries) {
    for (const auto& e : entries) uncheckedSettings_.push_back(e);
    if (!booted_ || uncheckedSettings_.empty()) return;
    std::vector<std::pair<std::string, id>> entriesToCheck;
    entriesToCheck.swap(uncheckedSettings_);
    Json description = describePlugin();
    if (!description.is_object() || !description["settings"].is_array()) return;
    const Json& table = description["settings"];
    std::vector<std::string> keys;
    // A label written as one word ("snapToEdge" for "Snap to edge") or
    // the name of the variable a key sets (globalBoundColor) leads to its
    // key as well as a near spelling does.
    std::vector<std::pair<std::string, std::string>> byLabel;
    for (const Json& row : table) {
        keys.push_back(row["key"].get<std::string>());
        std::string squeezed;
        for (char c : row["label"].get<std::string>())
            if (c != ' ') squeezed += c;
        byLabel.emplace_back(squeezed, keys.back());
        byLabel.emplace_back(row["variable"].get<std::string>(), keys.back());
    }
    for (const auto& [key, value] : entriesToCheck) {
        const Json* row = nullptr;
        for (const Json& r : table)
            if (r["key"] == key) row = &r;
        if (!row) {
            // Names near the key, among keys, labels and variables, each
            // given as the key it leads to; the nearest first.
            std::vector<std::string> names = keys, near;
            for (const auto& [name, k] : byLabel) names.push_back(name);
            for (const auto& name : nearestNames(key, names, names.size())) {
                std::string k = name;
                for (const auto& [alias, target] : byLabel)
                    if (alias == name) k = target;
                if (std::find(near.begin(), near.end(), k) == near.end()) near.push_back(k);
            }
            if (near.size() > 3) near.resize(3);
            emit("warning settings " + key + ": the plugin reads no such key and ignores it" + didYouMean(near));
            continue;
        }
        // The readings the platform gives the plugin's types: a switch and
        // the size take what boolValue and floatValue answer (numbers and
        // texts), a colour takes only a text.
        const std::string type = (*row)["type"].get<std::string>();
        bool read = type == "boolean"  ? readBool(value.get()).has_value()
                    : type == "number" ? readDouble(value.get()).has_value()
                                       : dynamic_cast<const NSString*>(value.get()) != nullptr;
        if (read) continue;
        std::string example = type == "boolean" ? "true"
                              : type == "number"
                                  ? (*row)["default"].dump()
                                  : quoteFileText((*row)["fallback"].is_string() ? (*row)["fallback"].get<std::string>()
                                                                                 : std::string("#ff0000"));
        emit("warning settings " + key + "=" + formatFileValue(value.get()) + ": the plugin reads a " + type +
             " there and ignores this value (as in " + key + "=" + example + ")");
    }
}
