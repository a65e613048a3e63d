// A count per bundle identifier, for the hide flags of a state file that
// may hold many thousands of them. Boot fills it with every true
// "HIDAPPS-" key of the file; a node-based map spent two allocations and a
// scattered node per flag, a good part of a start of the home screen. Here
// the texts live one after another in a single buffer and the table is a
// flat open-addressing array (linear probing, at most half full) of
// {hash, where the text is, count}.
//
// A bundle whose count falls to zero stays in the table with count zero
// (and answers absent): the table never needs deletion marks, and a flag
// set again finds its slot. Its text stays in the buffer until clear().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class BundleCounts {
public:
    // Adds delta to bundle's count (a count never goes below zero).
    void add(std::string_view bundle, int delta);
    // Whether bundle's count is above zero.
    bool contains(std::string_view bundle) const;
    uint32_t count(std::string_view bundle) const;
    // Bundles with a count above zero.
    size_t size() const { return live_; }
    // Those bundles, in no particular order.
    std::vector<std::string> bundles() const;
    void clear();

private:
    struct Slot {
        uint64_t hash = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
        uint32_t count = 0;
        bool used = false;
    };
    static uint64_t hashOf(std::string_view text);
    // The slot holding text, or the free slot where it would go.
    size_t find(std::string_view text, uint64_t hash) const;
    std::string_view textOf(const Slot& slot) const { return std::string_view(texts_).substr(slot.offset, slot.length); }
    void grow();

    std::vector<Slot> slots_;
    size_t used_ = 0;
    size_t live_ = 0;
    std::string texts_;
};
