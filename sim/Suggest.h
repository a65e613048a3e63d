// "Did you mean": the known names nearest to a misspelt one, for errors
// that say what to write instead.
#pragma once

#include <string>
#include <vector>

// The candidates closest to word: those within a few edits of it (more
// for a longer word), and those that contain it or that it contains, the
// closest first, at most `limit`. Empty when nothing is near.
std::vector<std::string> nearestNames(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t limit = 3);

// " (did you mean A, B or C?)", or "" when there is nothing to offer.
std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates, size_t limit = 3);
// The same for names already found.
std::string didYouMean(const std::vector<std::string>& names);
