// docs/scenarios.md is the reference a scenario's author works from: these
// tests keep it from falling behind the simulator's command table and the
// plugin's settings table.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "sim/Simulator.h"

namespace {

std::string referencePage() {
    std::ifstream in(std::string(FT_SOURCE_DIR) + "/docs/scenarios.md");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// In a Markdown table a | inside code is written \|.
std::string asTableCode(const std::string& text) {
    std::string out = "`";
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out + "`";
}

// Tests that every form of every command has its row in the page's table
// of commands, as `springboard-sim help` prints it.
TEST(ScenarioReference, EveryCommandFormIsOnThePage) {
    const std::string page = referencePage();
    ASSERT_FALSE(page.empty());
    size_t forms = 0;
    for (const auto& [name, usage] : Simulator::commandUsages()) {
        size_t start = 0;
        while (true) {
            size_t bar = usage.find(" | ", start);
            std::string form = usage.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            ++forms;
            EXPECT_NE(page.find("\n| " + asTableCode(form) + " |"), std::string::npos)
                << "docs/scenarios.md's table of commands lacks " << form;
            if (bar == std::string::npos) break;
            start = bar + 3;
        }
    }
    EXPECT_GT(forms, 40u);
}

// Tests that every key of the plugin's settings table is on the page with
// its type and default, in the row the table's own description gives.
TEST(ScenarioReference, EverySettingsKeyIsOnThePage) {
    const std::string page = referencePage();
    Simulator::Options o;
    o.deviceTemplate = FT_DEVICE_TEMPLATE;
    Simulator sim(std::move(o));
    Json description = sim.describePlugin();
    ASSERT_TRUE(description.is_object());
    ASSERT_GT(description["settings"].size(), 10u);
    for (const Json& s : description["settings"]) {
        const std::string key = s["key"], type = s["type"];
        std::string fallback =
            s.contains("fallback") && s["fallback"].is_string() ? s["fallback"].get<std::string>() : "";
        std::string value = type == "boolean"  ? (s["default"].get<bool>() ? "true" : "false")
                            : type == "number" ? s["default"].dump()
                                               : "absent (draws `" + fallback + "`)";
        std::string row = "| `" + key + "` | " + type + " | " + value + " | " + s["label"].get<std::string>() + ": ";
        EXPECT_NE(page.find(row), std::string::npos) << "docs/scenarios.md lacks the row " << row;
    }
}

} // namespace
