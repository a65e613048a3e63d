#include "sim/JsonPointer.h"

#include <cmath>
#include <vector>

#include "sim/Suggest.h"

namespace {

// RFC 6901 escapes: ~1 is '/', ~0 is '~'.
bool unescape(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '~') {
            out += in[i];
            continue;
        }
        if (i + 1 >= in.size()) return false;
        if (in[i + 1] == '0') out += '~';
        else if (in[i + 1] == '1') out += '/';
        else return false;
        ++i;
    }
    return true;
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// JSON's own equality: an object's members have no order (the dump's
// objects made from the plugin's dictionaries come in their keys' order,
// a scenario writes them in any).
bool sameJson(const Json& a, const Json& b) {
    if (a.is_array() && b.is_array()) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (!sameJson(a[i], b[i])) return false;
        return true;
    }
    if (a.is_object() && b.is_object()) {
        if (a.size() != b.size()) return false;
        for (auto it = b.begin(); it != b.end(); ++it) {
            auto found = a.find(it.key());
            if (found == a.end() || !sameJson(*found, it.value())) return false;
        }
        return true;
    }
    return a == b;
}

bool approxEqual(const Json& a, const Json& b) {
    if (a.is_number() && b.is_number()) return std::fabs(a.get<double>() - b.get<double>()) <= 0.001 + 1e-12;
    if (a.is_array() && b.is_array()) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (!approxEqual(a[i], b[i])) return false;
        return true;
    }
    if (a.is_object() && b.is_object()) {
        if (a.size() != b.size()) return false;
        for (auto it = b.begin(); it != b.end(); ++it) {
            auto found = a.find(it.key());
            if (found == a.end() || !approxEqual(*found, it.value())) return false;
        }
        return true;
    }
    return a == b;
}

} // namespace

namespace {

// How an array element is named in a path: by its bundle when it has one,
// so that a wildcard's failure says which bubble.
std::string elementStep(const Json& el, size_t index) {
    if (el.is_object()) {
        auto b = el.find("bundle");
        if (b != el.end() && b->is_string() && !b->get<std::string>().empty() &&
            b->get<std::string>().find('/') == std::string::npos)
            return b->get<std::string>();
    }
    return std::to_string(index);
}

// Walks the steps from `pos` below node, adding one match per value
// reached (or per way of missing). Answers false on a malformed pointer.
bool walk(const Json& node, const std::string& pointer, size_t pos, const std::string& walked,
          std::vector<PointerMatch>& out, std::string* error) {
    if (pos > pointer.size()) {
        out.push_back({walked, &node, ""});
        return true;
    }
    size_t slash = pointer.find('/', pos);
    size_t next = slash == std::string::npos ? pointer.size() + 1 : slash + 1;
    std::string rawStep = pointer.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    std::string step;
    if (!unescape(rawStep, step)) {
        if (error) *error = "bad escape in " + rawStep;
        return false;
    }
    const std::string here = walked + "/" + rawStep;
    auto miss = [&](const std::string& why) {
        out.push_back({here, nullptr, why});
        return true;
    };
    // An unescaped * is every element (or member); "~2a" is not needed:
    // no member of the dump is named "*".
    if (rawStep == "*" && (node.is_array() || node.is_object())) {
        size_t index = 0;
        for (auto it = node.begin(); it != node.end(); ++it, ++index) {
            std::string name = node.is_array() ? elementStep(*it, index) : it.key();
            if (!walk(*it, pointer, next, walked + "/" + name, out, error)) return false;
        }
        return true;
    }
    if (node.is_object()) {
        auto it = node.find(step);
        if (it != node.end()) return walk(*it, pointer, next, here, out, error);
        std::vector<std::string> keys;
        for (auto k = node.begin(); k != node.end(); ++k) keys.push_back(k.key());
        return miss("no member " + here + didYouMean(step, keys));
    }
    if (node.is_array()) {
        if (allDigits(step)) {
            size_t index = std::stoul(step.size() > 9 ? std::string("999999999") : step);
            if (index >= node.size())
                return miss("no element " + here + " (" + std::to_string(node.size()) + " elements)");
            return walk(node[index], pointer, next, here, out, error);
        }
        std::vector<std::string> bundles;
        for (const auto& el : node) {
            if (!el.is_object()) continue;
            auto b = el.find("bundle");
            if (b == el.end() || !b->is_string()) continue;
            if (b->get<std::string>() == step) return walk(el, pointer, next, here, out, error);
            bundles.push_back(b->get<std::string>());
        }
        return miss("no element with bundle " + step + " at " + here + didYouMean(step, bundles));
    }
    return miss("nothing below " + walked + " (" + std::string(node.type_name()) + ")");
}

} // namespace

std::vector<PointerMatch> resolvePointerAll(const Json& root, const std::string& pointer, std::string* error) {
    std::vector<PointerMatch> out;
    if (pointer.empty()) {
        out.push_back({"", &root, ""});
        return out;
    }
    if (pointer[0] != '/') {
        if (error) *error = "a pointer starts with '/': " + pointer;
        return {};
    }
    if (!walk(root, pointer, 1, "", out, error)) return {};
    return out;
}

const Json* resolvePointer(const Json& root, const std::string& pointer, std::string* error) {
    std::string why;
    auto matches = resolvePointerAll(root, pointer, &why);
    if (matches.size() == 1 && matches[0].value) return matches[0].value;
    if (error) *error = !why.empty() ? why : matches.size() == 1 ? matches[0].missing : "not one value: " + pointer;
    return nullptr;
}

bool isComparisonOperator(const std::string& op) {
    return op == "==" || op == "!=" || op == "<" || op == "<=" || op == ">" || op == ">=" || op == "~";
}

bool compareJson(const Json& actual, const std::string& op, const Json& expected, std::string* error) {
    if (op == "==") return sameJson(actual, expected);
    if (op == "!=") return !sameJson(actual, expected);
    if (op == "~") return approxEqual(actual, expected);
    if (!isComparisonOperator(op)) {
        if (error) *error = "unknown operator " + op;
        return false;
    }
    int order;
    if (actual.is_number() && expected.is_number()) {
        double a = actual.get<double>(), b = expected.get<double>();
        order = a < b ? -1 : (a > b ? 1 : 0);
    } else if (actual.is_string() && expected.is_string()) {
        int c = actual.get<std::string>().compare(expected.get<std::string>());
        order = c < 0 ? -1 : (c > 0 ? 1 : 0);
    } else {
        if (error) *error = std::string("cannot order ") + actual.type_name() + " and " + expected.type_name();
        return false;
    }
    if (op == "<") return order < 0;
    if (op == "<=") return order <= 0;
    if (op == ">") return order > 0;
    return order >= 0;
}
