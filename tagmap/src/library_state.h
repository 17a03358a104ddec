// The library's process-wide state, shared by all handles: the reader family
// that family-dependent calls dispatch on, the RF-on flag, the settings and
// the sorting buffer of continuous reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "brenholt.h"

namespace brenholt {

// One tag reported by continuous reading: its UID (most significant byte
// first, all zero when the entry is free) and the values of blocks 0 and 1
// read with it, by which a write can find the tag again by item identifier.
struct SortingEntry {
    std::array<std::uint8_t, 8> uid{};
    std::array<std::uint8_t, 8> reserved{};
    std::uint32_t block0 = 0;
    std::uint32_t block1 = 0;
};

// A ring of depth recently reported tags (plus one spare entry).
class SortingBuffer {
public:
    static constexpr std::int32_t kDefaultDepth = 16;
    // More than any reader's field can hold; deeper buffers are refused.
    static constexpr std::int32_t kMaxDepth = 1 << 20;

    SortingBuffer() { reset(kDefaultDepth); }

    std::int32_t depth() const { return depth_; }
    // A fresh buffer of depth + 1 free entries, write position 0. False (and
    // the buffer unchanged) when it cannot be had.
    bool reset(std::int32_t depth);
    // The ring: entries 0 to depth - 1.
    std::span<SortingEntry> ring() { return {entries_.data(), static_cast<std::size_t>(depth_)}; }
    std::size_t writePosition = 0;

private:
    std::int32_t depth_ = 0;
    std::vector<SortingEntry> entries_;
};

struct LibraryState {
    std::int32_t family = BRN_FAMILY_NONE;
    brnHandle currentReader = nullptr;
    bool rfOn = false;
    SortingBuffer sorting;
    std::uint32_t readSessionMs = 200;
    std::int32_t typeFilter = 255;
    std::uint32_t tagsMask = 4;
    std::uint32_t channelsMask = 1;
    std::uint8_t inventoryParameter = 16; // passed to every TALU automatic inventory
};

LibraryState& state();

} // namespace brenholt
