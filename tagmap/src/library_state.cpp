#include "library_state.h"

#include <algorithm>
#include <new>

namespace brenholt {

bool SortingBuffer::reset(std::int32_t depth)
{
    if (depth < 0 || depth > kMaxDepth)
        return false;
    try {
        std::vector<SortingEntry> fresh(static_cast<std::size_t>(depth) + 1);
        entries_.swap(fresh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    depth_ = depth;
    writePosition = 0;
    return true;
}

void SortingBuffer::clear()
{
    std::fill(entries_.begin(), entries_.end(), SortingEntry{});
    writePosition = 0;
}

bool SortingBuffer::contains(const std::array<std::uint8_t, 8>& uid) const
{
    const auto used = entries_.begin() + depth_;
    return std::find_if(entries_.begin(), used, [&](const SortingEntry& e) { return e.uid == uid; }) != used;
}

void SortingBuffer::record(const std::array<std::uint8_t, 8>& uid, std::uint32_t block0, std::uint32_t block1)
{
    if (depth_ < 1)
        return;
    if (writePosition >= static_cast<std::size_t>(depth_))
        writePosition = 0;
    entries_[writePosition] = SortingEntry{uid, {}, block0, block1};
    if (++writePosition == static_cast<std::size_t>(depth_))
        writePosition = 0;
}

bool SortingBuffer::firstEntryInUse() const
{
    return !entries_.empty() && entries_.front().uid != std::array<std::uint8_t, 8>{};
}

LibraryState& state()
{
    static LibraryState s;
    return s;
}

} // namespace brenholt
