// What the playground may say to the simulator, and how a request from the
// page becomes scenario lines. The page never sends scenario text: it sends
// typed values, and only this file turns them into lines, each of which is
// checked again against the simulator's own forms before it reaches the
// child. No line names a path, so nothing the page sends can reach a file
// outside the device root.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/PublicNames.h"

namespace playground {

using Json = nlohmann::json;

// ---- the settings file, as the plugin's own table describes it ----

enum class SettingType { Boolean, Number, Colour };

struct SettingSpec {
    std::string key;
    SettingType type;
    Json defaultValue;   // what the plugin assumes while the key is absent
    std::string group;   // the pane's section
    std::string label;
    std::string help;
    double min = 0, max = 0, step = 0;   // numbers only
};

// The plugin's settings table (the `settings` of springboard-sim describe),
// in its order; a row that does not read as one is left out.
std::vector<SettingSpec> settingsFromDescription(const Json& description);
const SettingSpec* findSetting(const std::vector<SettingSpec>& settings, const std::string& key);

// ---- words of the scenario language ----

// A text as one scenario word (the language's own quoting, shared with the
// simulator): always quoted, with \" and \\ escaped.
std::string quoteWord(const std::string& text);
// A number as the scenario reads it: an integer, or a real with a point.
std::string realWord(double value);
std::string pointWord(double x, double y);

// Letters, digits, '.', '-' and '_', at most 128 characters: the shape of a
// bundle identifier, and nothing the scenario language could read otherwise.
bool isBundleIdentifier(const std::string& text);
// "#" and six hexadecimal digits, the form the plugin's colour strings take.
bool isColourString(const std::string& text);

// ---- requests from the page ----

// The lines for one settings change: a write of the key (or its removal,
// for a null value), then the settings-changed notification, as the
// device's pane does. Empty with `error` set when the value does not fit the
// key's type or range.
std::vector<std::string> settingLines(const std::vector<SettingSpec>& settings, const std::string& key,
                                      const Json& value, std::string& error);

// The line that chooses or drops an app's bubble in the state file.
std::optional<std::string> choiceLine(const std::string& bundle, bool chosen, std::string& error);
// A key of either file set to VALUE, a word of the scenario language's
// file values (any type: the simulator reads it and refuses what is not
// one), or taken out when value is null; a change of the settings file is
// announced as the settings pane's is. Empty, with error, for a file or key
// no line can name.
std::vector<std::string> fileLines(const std::string& file, const std::string& key, const Json& value,
                                   std::string& error);
// One VALUE of the scenario language's file values as a `settings`/`state`
// line reads it after KEY=: a word, or an array or dictionary written with
// spaces inside it ("[1, 2]"), with nothing after it.
bool isOneFileValue(const std::string& value);

// The badge line for an app: a number, a short text, or none (null or "").
std::optional<std::string> badgeLine(const std::string& bundle, const Json& value, std::string& error);

// A touch at a screen point, kept on the glass of a screen of that size.
// Phase is down, move, up or cancel.
std::optional<std::string> touchLine(const std::string& phase, double x, double y, double width, double height,
                                     std::string& error);

// The last guard before a line is written to the child: a line in one of
// the forms of the simulator's own table (SimulatorForms.h), but none that
// reads or writes a path (`dump PATH`, `snapshot PATH`, `expect bytes`), a
// touch only at a point, and none of what the playground refuses below.
bool isAllowedLine(const std::string& line);
// The commands the playground never sends, and the forms of the others it
// never sends; each is a command or a form of the simulator's table.
const std::set<std::string>& refusedCommands();
const std::set<std::string>& refusedForms();

} // namespace playground
