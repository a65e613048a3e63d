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

const Json* resolvePointer(const Json& root, const std::string& pointer, std::string* error) {
    auto fail = [&](const std::string& why) -> const Json* {
        if (error) *error = why;
        return nullptr;
    };
    if (pointer.empty()) return &root;
    if (pointer[0] != '/') return fail("a pointer starts with '/': " + pointer);
    const Json* node = &root;
    std::string walked;
    size_t pos = 1;
    while (true) {
        size_t slash = pointer.find('/', pos);
        std::string rawStep = pointer.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        std::string step;
        if (!unescape(rawStep, step)) return fail("bad escape in " + rawStep);
        walked += "/" + rawStep;
        if (node->is_object()) {
            auto it = node->find(step);
            if (it == node->end()) {
                std::vector<std::string> keys;
                for (auto k = node->begin(); k != node->end(); ++k) keys.push_back(k.key());
                return fail("no member " + walked + didYouMean(step, keys));
            }
            node = &*it;
        } else if (node->is_array()) {
            if (allDigits(step)) {
                size_t index = std::stoul(step.size() > 9 ? std::string("999999999") : step);
                if (index >= node->size()) return fail("no element " + walked + " (" + std::to_string(node->size()) + " elements)");
                node = &(*node)[index];
            } else {
                const Json* found = nullptr;
                for (const auto& el : *node) {
                    if (!el.is_object()) continue;
                    auto b = el.find("bundle");
                    if (b != el.end() && b->is_string() && b->get<std::string>() == step) {
                        found = &el;
                        break;
                    }
                }
                if (!found) {
                    std::vector<std::string> bundles;
                    for (const auto& el : *node)
                        if (el.is_object() && el.contains("bundle") && el["bundle"].is_string())
                            bundles.push_back(el["bundle"].get<std::string>());
                    return fail("no element with bundle " + step + " at " + walked + didYouMean(step, bundles));
                }
                node = found;
            }
        } else {
            return fail("nothing below " + walked.substr(0, walked.size() - rawStep.size() - 1) + " (" +
                        std::string(node->type_name()) + ")");
        }
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return node;
}

bool isComparisonOperator(const std::string& op) {
    return op == "==" || op == "!=" || op == "<" || op == "<=" || op == ">" || op == ">=" || op == "~";
}

bool compareJson(const Json& actual, const std::string& op, const Json& expected, std::string* error) {
    if (op == "==") return actual == expected;
    if (op == "!=") return actual != expected;
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
