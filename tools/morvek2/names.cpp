#include "tools/morvek2/names.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <set>

namespace morvek2::cli {

std::string nameKey(const std::string& name)
{
    std::string key;
    for (const char c : name) {
        if (c == ' ' || c == '.' || c == '_' || c == '-' || c == '\t') {
            continue;
        }
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return key;
}

int editDistance(const std::string& a, const std::string& b)
{
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string> closestNames(const std::string& typed,
                                      const std::vector<std::string>& names, std::size_t count)
{
    const std::string key = nameKey(typed);
    std::vector<std::pair<int, std::string>> scored;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (name.empty() || !seen.insert(name).second) {
            continue;
        }
        const std::string other = nameKey(name);
        int score = editDistance(key, other);
        // One name inside the other counts as close, unless the inner one is too short to mean it.
        const bool inside = (key.size() >= 3 && other.find(key) != std::string::npos) ||
                            (other.size() >= 3 && key.find(other) != std::string::npos);
        if (inside) {
            score = std::min<int>(score, 1);
        }
        // Too far to be a slip of the fingers: no suggestion beats a silly one.
        const int limit =
            std::max<int>(2, static_cast<int>(std::max(key.size(), other.size())) / 2);
        if (score <= limit) {
            scored.emplace_back(score, name);
        }
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::string> result;
    for (std::size_t i = 0; i < scored.size() && i < count; ++i) {
        result.push_back(scored[i].second);
    }
    return result;
}

std::string suggestionText(const std::string& typed, const std::vector<std::string>& names)
{
    const std::vector<std::string> close = closestNames(typed, names);
    if (close.empty()) {
        return {};
    }
    std::string text = "; did you mean ";
    for (std::size_t i = 0; i < close.size(); ++i) {
        if (i > 0) {
            text += i + 1 == close.size() ? " or " : ", ";
        }
        text += "'" + close[i] + "'";
    }
    return text + "?";
}

} // namespace morvek2::cli
