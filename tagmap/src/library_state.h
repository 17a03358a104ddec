// The library's process-wide state, shared by all handles: the reader family
// that family-dependent calls dispatch on, the RF-on flag, the settings, and
// continuous reading with its sorting buffer and timer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "brenholt.h"
#include "platform/loop.h"

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

    // Every entry free again, write position 0.
    void clear();
    // Whether a ring entry holds uid.
    bool contains(const std::array<std::uint8_t, 8>& uid) const;
    // Records a reported tag at the write position and moves it on. With
    // depth 0 the ring has no entry and nothing is recorded.
    void record(const std::array<std::uint8_t, 8>& uid, std::uint32_t block0, std::uint32_t block1);
    // Whether the buffer's first entry holds a UID (a tag was reported since
    // the buffer was emptied).
    bool firstEntryInUse() const;

private:
    std::int32_t depth_ = 0;
    std::vector<SortingEntry> entries_;
};

// Continuous reading: the callbacks, the caller's context, what is read from
// each tag, and the timer that drives the cycles.
struct ReadingState {
    // The kind of start reading was last started with: its callback hears
    // that the reader has gone.
    enum class Start { None, Raw, RawUid, Item, ItemUid };
    Start startedWith = Start::None;
    brnRawItemCallback rawCallback = nullptr;
    brnRawUIDCallback rawUidCallback = nullptr;
    brnItemCallback itemCallback = nullptr;
    brnItemUIDCallback itemUidCallback = nullptr;
    void* context = nullptr;
    std::uint32_t rawMask = 0;
    // The timer's identifier: 0 never started, -1 killed (or paused by a
    // second-make cycle); ticks of any other timer are ignored.
    std::int64_t timerId = 0;
    // The loop of the thread that started the timer.
    std::shared_ptr<platform::MessageLoop> timerLoop;
    // From a successful start to a stop, the line going or the reader closing.
    bool running = false;
    // The tag memory callback (brnSetTagMemoryCallback): set for one
    // reading, cleared by every start and stop.
    struct MemoryRequest {
        brnTagMemoryCallback callback = nullptr;
        void* context = nullptr;
        std::uint32_t maxBlocks = 0;
    } memory;
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
    ReadingState reading;
    // Calls that use the reader and are still running: a tick that comes
    // while one runs (from a nested dispatch of the loop) is skipped.
    int readerBusy = 0;
    // Changes whenever reading is started or stopped, a reader is opened,
    // closed or switched, or the sorting buffer is replaced: a cycle whose
    // callback caused such a change ends there.
    std::uint64_t epoch = 0;
};

LibraryState& state();

// Marks a call that uses the reader for its duration.
class ReaderInUse {
public:
    ReaderInUse() { ++state().readerBusy; }
    ~ReaderInUse() { --state().readerBusy; }
    ReaderInUse(const ReaderInUse&) = delete;
    ReaderInUse& operator=(const ReaderInUse&) = delete;
};

} // namespace brenholt
