#include "library_state.h"

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

LibraryState& state()
{
    static LibraryState s;
    return s;
}

} // namespace brenholt
