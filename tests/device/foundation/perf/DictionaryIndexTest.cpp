// The dictionary's key index against a plain model of what a dictionary
// is here: its keys in their sorted order, each with its latest value.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "foundation/Foundation.h"

namespace {

using Model = std::map<std::string, int64_t>;

void expectSame(const NSMutableDictionary& dict, const Model& model, const std::vector<std::string>& keys) {
    ASSERT_EQ(dict.count(), model.size());
    size_t place = 0;
    for (const auto& [key, value] : model) {
        ASSERT_EQ(dict.entries()[place].first, key) << "place " << place;
        ASSERT_EQ(readInteger(dict.entries()[place].second.get()), value);
        ++place;
    }
    for (const std::string& key : keys) {
        auto at = model.find(key);
        id value = dict.objectForKey(key);
        ASSERT_EQ(value != nullptr, at != model.end()) << key;
        const uint64_t expected =
            at == model.end() ? NSNotFound : static_cast<uint64_t>(std::distance(model.begin(), at));
        ASSERT_EQ(dict.indexOfKey(key), expected) << key;
        if (at != model.end()) {
            ASSERT_EQ(readInteger(value.get()), at->second) << key;
        }
    }
}

// Tests random sets, replacements and removals (which move later keys up)
// against the model, keys added since the last look among them, through the index's growth from empty, with keys
// that are empty, one byte apart, or prefixes of one another.
TEST(DictionaryIndex, AgreesWithAPlainModel) {
    std::vector<std::string> keys = {"", "a", "b", "ab", "ba", "HIDAPPS-", "HIDAPPS-a", "HIDAPPS-a "};
    for (int i = 0; i < 300; ++i) keys.push_back("FLTTILE-com.app" + std::to_string(i));
    std::mt19937 rng(11);
    auto anyKey = [&] { return keys[std::uniform_int_distribution<size_t>(0, keys.size() - 1)(rng)]; };
    NSMutableDictionary dict;
    Model model;
    for (int step = 0; step < 4000; ++step) {
        std::string key = anyKey();
        int op = std::uniform_int_distribution<int>(0, 9)(rng);
        if (op < 7) {
            dict.setObjectForKey(NSNumber::numberWithInteger(step), key);
            model[key] = step;
        } else if (op < 9) {
            dict.removeObjectForKey(key);
            model.erase(key);
        } else {
            // Setting nil removes, as removeObjectForKey does.
            dict.setObjectForKey(nullptr, std::string(key));
            model.erase(key);
        }
        // Looked at now and then: keys set in between wait to be put in
        // order, and a look must find them all in place.
        if (step % 97 == 0) expectSame(dict, model, keys);
    }
    expectSame(dict, model, keys);
}

// Tests a dictionary made from a reader's entries against the same entries
// set in turn: keys that come again take their last value, however many
// there are and wherever they stand.
TEST(DictionaryIndex, EntriesTakenAsIfSetInTurn) {
    std::mt19937 rng(5);
    for (int round = 0; round < 60; ++round) {
        size_t n = std::uniform_int_distribution<size_t>(0, round < 30 ? 40 : 3000)(rng);
        size_t distinct = std::max<size_t>(1, std::uniform_int_distribution<size_t>(1, n + 1)(rng));
        std::vector<std::pair<std::string, id>> entries;
        entries.reserve(n + n / 4);
        NSMutableDictionary inTurn;
        for (size_t i = 0; i < n; ++i) {
            std::string key = "HIDAPPS-" + std::to_string(std::uniform_int_distribution<size_t>(0, distinct - 1)(rng));
            id value = NSNumber::numberWithInteger(static_cast<int64_t>(i));
            inTurn.setObjectForKey(value, key);
            entries.emplace_back(key, value);
        }
        auto adopted = NSMutableDictionary::dictionaryWithEntries(std::move(entries));
        ASSERT_EQ(adopted->count(), inTurn.count()) << "round " << round;
        for (size_t i = 0; i < inTurn.count(); ++i) {
            ASSERT_EQ(adopted->entries()[i].first, inTurn.entries()[i].first);
            ASSERT_EQ(adopted->entries()[i].second, inTurn.entries()[i].second);
            ASSERT_EQ(adopted->indexOfKey(inTurn.entries()[i].first), i);
        }
        // Still a dictionary to change afterwards.
        adopted->setObjectForKey(str("new"), "new key");
        adopted->removeObjectForKey(inTurn.count() ? inTurn.entries()[0].first : "none");
        EXPECT_EQ(adopted->entries().back().first, "new key");
        EXPECT_EQ(adopted->indexOfKey("new key"), adopted->count() - 1);
    }
}

// Tests a dictionary made with room for many keys: empty at first, then
// filled past that room in order.
TEST(DictionaryIndex, CapacityIsRoomNotContent) {
    auto dict = NSMutableDictionary::dictionaryWithCapacity(1000);
    EXPECT_EQ(dict->count(), 0u);
    EXPECT_EQ(dict->objectForKey("x"), nullptr);
    EXPECT_EQ(dict->indexOfKey("x"), NSNotFound);
    for (int i = 0; i < 3000; ++i) dict->setObjectForKey(NSNumber::numberWithInteger(i), "k" + std::to_string(i));
    ASSERT_EQ(dict->count(), 3000u);
    EXPECT_EQ(dict->indexOfKey("k0"), 0u);
    EXPECT_EQ(dict->indexOfKey("k999"), 2999u); // the last in sorted order
    EXPECT_EQ(readInteger(dict->objectForKey("k1234").get()), 1234);
    // A hint beyond reason is only a hint.
    auto huge = NSMutableDictionary::dictionaryWithCapacity(UINT64_MAX);
    huge->setObjectForKey(str("v"), "k");
    EXPECT_EQ(huge->count(), 1u);
}

} // namespace
