// A tag's memory as the data model codec needs it: its system information
// and its blocks from block 0 on (brnTagMemory; how much is read is told in
// brenholt.h under "Tag memory").
#pragma once

#include <cstdint>

#include "brenholt.h"
#include "family.h"

namespace brenholt {

// Reads the memory of the tag with UID uid into memory (cleared first),
// addressing its steps to target (null: whichever tag answers). Blocks 0 to
// 7 that known holds (its validMask bits) are taken from it rather than read
// again; known may be null. 0, or -15 when a block that must be read cannot
// be (memory keeps what was read before it).
std::int32_t readTagMemory(ReaderFamily& family, brnHandle handle, const Uid* target, const Uid& uid,
                           const brnRawItem* known, std::uint32_t maxBlocks, brnTagMemory& memory);

} // namespace brenholt
