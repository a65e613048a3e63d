// What the files of the phone (Phone*.cpp) share: the timing constants and
// the small readers of the home screen's lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace playground::parts {

// The most moves one request carries.
constexpr size_t kMaxMoves = 256;
// The most touch actions kept waiting for one before them.
constexpr size_t kMaxEarly = 256;
// How many ended touches are remembered, to drop their late actions.
constexpr size_t kEndedTouches = 16;
// How long a finger may stay down without a word from its page.
constexpr double kGestureTimeout = 10.0;
// A display's frame: the phone is shown no more often than this.
constexpr double kFrame = 1.0 / 60;

inline double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The event of a trace line, without its "[SECONDS] " stamp.
inline std::string eventOf(const std::string& line) {
    if (line.empty() || line[0] != '[') return line;
    size_t close = line.find("] ");
    return close == std::string::npos ? line : line.substr(close + 2);
}

inline std::vector<std::string> splitSpaces(const std::string& text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        size_t j = text.find(' ', i);
        if (j == std::string::npos) j = text.size();
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

} // namespace playground::parts
