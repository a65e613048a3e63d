#include "settings/BundleCounts.h"

#include <functional>

uint64_t BundleCounts::hashOf(std::string_view text) { return std::hash<std::string_view>{}(text); }

size_t BundleCounts::find(std::string_view text, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.used || (slot.hash == hash && textOf(slot) == text)) return i;
    }
}

void BundleCounts::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
        if (!slot.used) continue;
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(slot.hash) & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void BundleCounts::add(std::string_view bundle, int delta) {
    // Keeps the table at most half full, so a probe ends soon.
    if ((used_ + 1) * 2 > slots_.size()) grow();
    const uint64_t hash = hashOf(bundle);
    Slot& slot = slots_[find(bundle, hash)];
    if (!slot.used) {
        if (delta <= 0) return; // nothing to take from
        slot.used = true;
        slot.hash = hash;
        slot.offset = static_cast<uint32_t>(texts_.size());
        slot.length = static_cast<uint32_t>(bundle.size());
        texts_.append(bundle);
        ++used_;
    }
    const bool wasLive = slot.count > 0;
    const int64_t next = static_cast<int64_t>(slot.count) + delta;
    slot.count = next > 0 ? static_cast<uint32_t>(next) : 0;
    if (wasLive != (slot.count > 0)) wasLive ? --live_ : ++live_;
}

uint32_t BundleCounts::count(std::string_view bundle) const {
    if (slots_.empty()) return 0;
    const Slot& slot = slots_[find(bundle, hashOf(bundle))];
    return slot.used ? slot.count : 0;
}

bool BundleCounts::contains(std::string_view bundle) const { return count(bundle) > 0; }

std::vector<std::string> BundleCounts::bundles() const {
    std::vector<std::string> out;
    out.reserve(live_);
    for (const auto& slot : slots_)
        if (slot.used && slot.count > 0) out.emplace_back(textOf(slot));
    return out;
}

void BundleCounts::clear() {
    slots_.clear();
    used_ = 0;
    live_ = 0;
    texts_.clear();
}
