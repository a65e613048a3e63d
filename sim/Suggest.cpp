#include "sim/Suggest.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits between a and b, a swap of two neighbours counting as one
// (optimal string alignment): "cetner" is one slip from "center".
size_t editDistance(const std::string& a, const std::string& b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
    for (size_t i = 0; i <= n; ++i) d[i][0] = i;
    for (size_t j = 0; j <= m; ++j) d[0][j] = j;
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

} // namespace

std::vector<std::string> nearestNames(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t limit) {
    // Names are compared without case: "issticky" means isSticky. Long
    // words are capped so that a pasted line costs no quadratic table.
    if (word.empty() || word.size() > 200) return {};
    const std::string w = lower(word);
    const size_t allowed = std::max<size_t>(1, w.size() / 3);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const auto& c : candidates) {
        if (c.empty() || c.size() > 200) continue;
        std::string l = lower(c);
        if (l == w) {
            scored.emplace_back(0, c);
            continue;
        }
        size_t d = editDistance(w, l);
        // A part of a name ("lock" for lockstate) is as good as a slip.
        bool part =
            w.size() >= 3 && (l.find(w) != std::string::npos || (c.size() >= 3 && w.find(l) != std::string::npos));
        if (d <= allowed) scored.emplace_back(d, c);
        else if (part) scored.emplace_back(allowed + 1, c);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (const auto& [d, c] : scored) {
        if (out.size() >= limit) break;
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates, size_t limit) {
    return didYouMean(nearestNames(word, candidates, limit));
}

std::string didYouMean(const std::vector<std::string>& near) {
    if (near.empty()) return "";
    std::string out = " (did you mean ";
    for (size_t i = 0; i < near.size(); ++i) {
        if (i) out += i + 1 == near.size() ? " or " : ", ";
        out += near[i];
    }
    return out + "?)";
}
