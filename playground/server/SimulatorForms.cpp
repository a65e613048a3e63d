#include "playground/server/SimulatorForms.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace playground {

namespace {

constexpr const char* kBuiltHelp =
#include "playground/SimulatorHelp.inc"
    ;

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(by, start);
        out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

bool isPlaceholder(const std::string& atom) {
    return std::any_of(atom.begin(), atom.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); });
}

// "1-4": a number from 1 to 4.
bool inRange(const std::string& atom, const std::string& text) {
    if (atom.size() != 3 || atom[1] != '-' || !std::isdigit(static_cast<unsigned char>(atom[0])) ||
        !std::isdigit(static_cast<unsigned char>(atom[2])))
        return false;
    return text.size() == 1 && text[0] >= atom[0] && text[0] <= atom[2];
}

// The words of a form, an alternative of which holds a space ("upside
// down|landscape left") kept as one: two neighbours with '|' are one.
std::vector<std::string> tokensOf(const std::string& form) {
    std::vector<std::string> out;
    for (const auto& piece : split(form, ' ')) {
        if (piece.empty()) continue;
        bool alternatives = piece.find('|') != std::string::npos && piece.front() != '[';
        if (alternatives && !out.empty() && out.back().find('|') != std::string::npos && out.back().front() != '[')
            out.back() += " " + piece;
        else out.push_back(piece);
    }
    return out;
}

class FormMatch {
public:
    FormMatch(std::vector<std::string> tokens, const std::vector<Word>& words, const WordFits& fits)
        : tokens_(std::move(tokens)), words_(words), fits_(fits) {}

    bool from(size_t token, size_t word) const {
        if (token == tokens_.size()) return word == words_.size();
        std::string t = tokens_[token];
        bool last = token + 1 == tokens_.size();
        if (t == "..." || (t.size() > 3 && t.ends_with("...") && last)) return true;
        if (t == "VALUE" && last) return word < words_.size() && fits_(t, words_[word]);
        if (t.size() > 2 && t.front() == '[' && t.back() == ']') {
            if (from(token + 1, word)) return true;
            t = t.substr(1, t.size() - 2);
        }
        for (const auto& alternative : alternativesOf(t)) {
            auto atoms = split(alternative, ' ');
            if (word + atoms.size() > words_.size()) continue;
            bool all = true;
            for (size_t i = 0; all && i < atoms.size(); ++i) all = atomFits(atoms[i], words_[word + i]);
            if (all && from(token + 1, word + atoms.size())) return true;
        }
        return false;
    }

private:
    // "icon=yes|no" is icon= and then yes or no; "a|b" is a or b.
    static std::vector<std::string> alternativesOf(const std::string& token) {
        size_t equals = token.find('=');
        if (equals == std::string::npos || token.find('|') < equals) return split(token, '|');
        std::vector<std::string> out;
        for (const auto& value : split(token.substr(equals + 1), '|'))
            out.push_back(token.substr(0, equals + 1) + value);
        return out;
    }

    bool atomFits(const std::string& atom, const Word& word) const {
        size_t equals = atom.find('=');
        if (equals != std::string::npos) {
            size_t at = word.text.find('=');
            if (at == std::string::npos) return false;
            Word left = word, right = word;
            left.text = word.text.substr(0, at);
            right.text = word.text.substr(at + 1);
            // name="two words" names its option plainly.
            size_t rawEquals = word.raw.find('=');
            left.quoted = rawEquals == std::string::npos || word.raw.find('"') < rawEquals;
            std::string value = atom.substr(equals + 1);
            return sideFits(atom.substr(0, equals), left) && (value == "..." || sideFits(value, right));
        }
        return sideFits(atom, word);
    }

    bool sideFits(const std::string& atom, const Word& word) const {
        if (isPlaceholder(atom)) return fits_(atom, word);
        if (word.quoted) return false;
        return word.text == atom || inRange(atom, word.text);
    }

    std::vector<std::string> tokens_;
    const std::vector<Word>& words_;
    const WordFits& fits_;
};

} // namespace

std::vector<std::string> formsFromHelp(const std::string& help) {
    std::vector<std::string> forms;
    std::istringstream in(help);
    std::string line;
    bool listing = false;
    while (std::getline(in, line)) {
        if (line.rfind("Scenario commands", 0) == 0) {
            listing = true;
            continue;
        }
        if (!listing || line.rfind("  ", 0) != 0) continue;
        size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos) forms.push_back(line.substr(start));
    }
    return forms;
}

const std::vector<std::string>& simulatorForms() {
    static const std::vector<std::string> forms = formsFromHelp(kBuiltHelp);
    return forms;
}

bool takesForm(const std::string& form, const std::vector<Word>& words, const WordFits& fits) {
    // Most forms are another command's: they are passed over unread.
    if (words.empty() || !form.starts_with(words[0].text) ||
        (form.size() > words[0].text.size() && form[words[0].text.size()] != ' '))
        return false;
    auto tokens = tokensOf(form);
    if (tokens.empty() || words.empty() || words[0].quoted || words[0].text != tokens[0]) return false;
    return FormMatch(std::move(tokens), words, fits).from(1, 1);
}

} // namespace playground
