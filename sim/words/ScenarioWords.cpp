#include "sim/words/ScenarioWords.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

ParsedLine splitScenarioLine(const std::string& line) {
    ParsedLine out;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && isSpace(line[i])) ++i;
        if (i >= n) break;
        if (line[i] == '#') break; // a comment runs to the end of the line
        Word w;
        w.begin = i;
        while (i < n && !isSpace(line[i])) {
            if (line[i] != '"') {
                w.text += line[i++];
                continue;
            }
            w.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < n && (line[i] == '"' || line[i] == '\\')) c = line[i++];
                w.text += c;
            }
            if (!closed) {
                out.error = "unterminated double quote";
                return out;
            }
        }
        w.end = i;
        w.raw = line.substr(w.begin, w.end - w.begin);
        out.words.push_back(std::move(w));
    }
    return out;
}

std::string quoteText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool fitsOnOneLine(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }
