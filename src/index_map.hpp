// Old-index -> new-position translation for the editing operations: the position at which an
// old index first occurs in a selection. Dense (one slot per possible index) when the indices
// are packed closely enough, a hash map otherwise, so that a small selection out of a huge
// record costs memory in proportion to the selection, and a hostile index near 2^32 never
// makes anyone allocate 16 GB.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace zyk {

class FirstPositions {
public:
    static constexpr std::uint32_t none = UINT32_MAX;

    // `keys` in selection order; `domain` is the size of the list they index (a real record
    // size, so a slot per index costs no more than the record itself). Keys at or above it are
    // never found.
    FirstPositions(std::span<const std::uint32_t> keys, std::uint64_t domain) { build(keys, domain, true); }
    // Keys of any value: a hash map unless they are packed closely.
    explicit FirstPositions(std::span<const std::uint32_t> keys) { build(keys, std::uint64_t(1) << 32, false); }

    // The first position of `key`, or `none`.
    std::uint32_t find(std::uint32_t key) const {
        if (dense_) return key < slots_.size() ? slots_[key] : none;
        const auto it = sparse_.find(key);
        return it == sparse_.end() ? none : it->second;
    }
    bool contains(std::uint32_t key) const { return find(key) != none; }

private:
    void build(std::span<const std::uint32_t> keys, std::uint64_t domain, bool domain_is_real) {
        std::uint64_t bound = 0;
        for (std::uint32_t k : keys) {
            if (k < domain) bound = std::max<std::uint64_t>(bound, std::uint64_t(k) + 1);
        }
        dense_ = domain_is_real || bound <= 4 * std::uint64_t(keys.size()) + 4096;
        if (dense_) {
            slots_.assign(std::size_t(bound), none);
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const std::uint32_t k = keys[i];
                if (k < bound && slots_[k] == none) slots_[k] = std::uint32_t(i);
            }
        } else {
            sparse_.reserve(keys.size());
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (keys[i] < domain) sparse_.try_emplace(keys[i], std::uint32_t(i));
            }
        }
    }

    bool dense_ = true;
    std::vector<std::uint32_t> slots_;
    std::unordered_map<std::uint32_t, std::uint32_t> sparse_;
};

}  // namespace zyk
