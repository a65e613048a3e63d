#include "sim/SettingsCheck.h"

#include <algorithm>

#include "foundation/Foundation.h"
#include "sim/FileValue.h"
#include "sim/SimulatorCore.h"
#include "sim/Suggest.h"

void SettingsCheck::booted() {
    description_.reset();
    check({});
}

void SettingsCheck::check(const std::vector<std::pair<std::string, id>>& entries) {
    for (const auto& e : entries) unchecked_.push_back(e);
    if (!core_.booted() || unchecked_.empty()) return;
    std::vector<std::pair<std::string, id>> entriesToCheck;
    entriesToCheck.swap(unchecked_);
    if (!description_) description_ = core_.describePlugin();
    // Not const: a row's missing member reads as null, as the plugin's own
    // reader would take it.
    Json& description = *description_;
    if (!description.is_object() || !description["settings"].is_array()) return;
    Json& table = description["settings"];
    for (const auto& [key, value] : entriesToCheck) checkOne(table, key, value);
}

void SettingsCheck::checkOne(Json& table, const std::string& key, const id& value) {
    Json* row = nullptr;
    for (Json& r : table)
        if (r["key"] == key) row = &r;
    if (!row) {
        warnUnknown(table, key);
        return;
    }
    // The readings the platform gives the plugin's types: a switch and
    // the size take what boolValue and floatValue answer (numbers and
    // texts), a colour takes only a text.
    const std::string type = (*row)["type"].get<std::string>();
    bool read = type == "boolean"  ? readBool(value.get()).has_value()
                : type == "number" ? readDouble(value.get()).has_value()
                                   : dynamic_cast<const NSString*>(value.get()) != nullptr;
    if (read) return;
    std::string example = type == "boolean" ? "true"
                          : type == "number"
                              ? (*row)["default"].dump()
                              : quoteFileText((*row)["fallback"].is_string() ? (*row)["fallback"].get<std::string>()
                                                                             : std::string("#ff0000"));
    core_.emit("warning settings " + key + "=" + formatFileValue(value.get()) + ": the plugin reads a " + type +
               " there and ignores this value (as in " + key + "=" + example + ")");
}

void SettingsCheck::warnUnknown(Json& table, const std::string& key) {
    std::vector<std::string> keys;
    // A label written as one word ("snapToEdge" for "Snap to edge") or
    // the name of the variable a key sets (globalBoundColor) leads to its
    // key as well as a near spelling does.
    std::vector<std::pair<std::string, std::string>> byLabel;
    for (Json& row : table) {
        keys.push_back(row["key"].get<std::string>());
        std::string squeezed;
        for (char c : row["label"].get<std::string>())
            if (c != ' ') squeezed += c;
        byLabel.emplace_back(squeezed, keys.back());
        byLabel.emplace_back(row["variable"].get<std::string>(), keys.back());
    }
    // Names near the key, among keys, labels and variables, each given as
    // the key it leads to; the nearest first.
    std::vector<std::string> names = keys, near;
    for (const auto& [name, k] : byLabel) names.push_back(name);
    for (const auto& name : nearestNames(key, names, names.size())) {
        std::string k = name;
        for (const auto& [alias, target] : byLabel)
            if (alias == name) k = target;
        if (std::find(near.begin(), near.end(), k) == near.end()) near.push_back(k);
    }
    if (near.size() > 3) near.resize(3);
    core_.emit("warning settings " + key + ": the plugin reads no such key and ignores it" + didYouMean(near));
}
