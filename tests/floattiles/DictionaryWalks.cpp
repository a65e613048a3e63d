// Counts the entries handed out by NSDictionary's entries() and allKeys().
// The count is the test program's, not the device's: this program defines
// the two functions itself, as the device library does, plus the count.
// The dynamic linker binds every caller in the process to the program's
// own definition before a library's (the plugin's code linked in here, and
// the device library's calls to itself alike), so each walk anywhere is
// counted here. EventCost.BootWalksTheFileOnce checks that the count moves
// with a start's walk of the file, so a walk that stopped passing through
// here could not pass for no walk.
#include "DictionaryWalks.h"

#include <atomic>

#include "foundation/Foundation.h"

namespace {
// The preferences daemon's thread walks the values it writes.
std::atomic<uint64_t> walked{0};
} // namespace

uint64_t dictionaryEntriesWalked() { return walked.load(std::memory_order_relaxed); }

const std::vector<std::pair<std::string, id>>& NSDictionary::entries() const {
    walked.fetch_add(entries_.size(), std::memory_order_relaxed);
    return entries_;
}

std::vector<std::string> NSDictionary::allKeys() const {
    walked.fetch_add(entries_.size(), std::memory_order_relaxed);
    std::vector<std::string> keys;
    keys.reserve(entries_.size());
    for (const auto& e : entries_) keys.push_back(e.first);
    return keys;
}
