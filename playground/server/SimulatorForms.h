// The scenario commands' forms, as the simulator's own table gives them
// (`springboard-sim help` prints one form a line, "cc present|dismiss"),
// and whether a line's words take one of them. The server's guard reads
// which commands exist and which words each takes from here, so the
// language is written down once, in the simulator.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/words/ScenarioWords.h"

namespace playground {

// The forms a help text lists under its "Scenario commands" heading.
std::vector<std::string> formsFromHelp(const std::string& help);
// The forms of the springboard-sim this server was built with (its help,
// taken at build time).
const std::vector<std::string>& simulatorForms();

// Whether a word may stand for a form's placeholder (BUNDLE, X,Y, PATH...).
using WordFits = std::function<bool(const std::string& placeholder, const Word& word)>;

// Whether `words` (the command's name first) take `form`. A literal word
// matches itself unquoted, `a|b` either (`1-4` a number in that range, and
// an alternative may be two words, "upside down"), `[x]` x or nothing, and
// `...` (or a last word ending in it) whatever follows; `KEY=VALUE` and
// `icon=yes|no` a word with `=` whose two sides match; a VALUE that ends a
// form is the rest of the line, as an array is written with spaces. Every
// other word with a capital letter is a placeholder, which `fits` decides.
bool takesForm(const std::string& form, const std::vector<Word>& words, const WordFits& fits);

} // namespace playground
