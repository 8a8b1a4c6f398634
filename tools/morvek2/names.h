// Matching what a user typed against the names a module offers, and suggesting the closest
// ones when nothing matches.
#pragma once

#include <string>
#include <vector>

namespace morvek2::cli {

// Lower case without blanks, dots, underscores and hyphens: "Filter Freq", "filter_freq" and
// "FILTERFREQ" are the same key.
std::string nameKey(const std::string& name);

// Edit distance between two keys.
int editDistance(const std::string& a, const std::string& b);

// Up to `count` names closest to `typed`, closest first (names containing it count as close).
std::vector<std::string> closestNames(const std::string& typed,
                                      const std::vector<std::string>& names, std::size_t count = 3);

// "; did you mean 'A', 'B' or 'C'?" or an empty text.
std::string suggestionText(const std::string& typed, const std::vector<std::string>& names);

} // namespace morvek2::cli
