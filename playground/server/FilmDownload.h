// "Download film" of the Record tab: the recording run by springboard-sim
// on a phone of its own, filmed (`run --film`), and the film's bytes.
#pragma once

#include <string>

namespace playground {

struct FilmAnswer {
    std::string webp;  // the film, when there is one
    std::string error; // why there is none
};

// Runs the scenario in a temporary folder, removed afterwards. A recording
// whose checks fail is still filmed; only a run that writes no film fails.
FilmAnswer filmScenario(const std::string& simProgram, const std::string& scenario);

} // namespace playground
