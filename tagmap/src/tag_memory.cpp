#include "tag_memory.h"

#include <algorithm>
#include <cstring>

#include "brenholt_datamodel.h"
#include "datamodel.h"

namespace brenholt {
namespace {

constexpr std::uint32_t kItemBytes = BRN_ITEM_BLOCKS * BRN_BLOCK_SIZE;

// Whether blocks 0 to 7 say that nothing further up belongs to the tag's
// data: this library's layout, or zeros alone.
bool endsWithItemBlocks(const brnTagMemory& memory)
{
    brnDataModelInfo info{};
    datamodel::classify({memory.memory, kItemBytes}, memory.afi, memory.dsfid, info);
    return info.model == BRN_DM_MODEL_HOUSE || (info.flags & BRN_DM_FLAG_BLANK);
}

} // namespace

std::int32_t readTagMemory(ReaderFamily& family, brnHandle handle, const Uid* target, const Uid& uid,
                           const brnRawItem* known, std::uint32_t maxBlocks, brnTagMemory& memory)
{
    memory = brnTagMemory{};
    std::memcpy(memory.uid, uid.data(), uid.size());
    memory.afi = memory.dsfid = memory.blockCount = memory.blockSize = BRN_TAG_UNKNOWN;
    // A tag or reader without system information still has its blocks read.
    if (SystemInfo info; family.systemInfo(handle, target, info).ok) {
        memory.afi = info.afi ? *info.afi : BRN_TAG_UNKNOWN;
        memory.dsfid = info.dsfid ? *info.dsfid : BRN_TAG_UNKNOWN;
        memory.blockCount = info.blockCount.value_or(BRN_TAG_UNKNOWN);
        memory.blockSize = info.blockSize.value_or(BRN_TAG_UNKNOWN);
    }
    if (memory.blockSize != BRN_TAG_UNKNOWN && memory.blockSize != BRN_BLOCK_SIZE)
        return BRN_OK; // 4-byte reads would cut its blocks short
    const bool countTold = memory.blockCount != BRN_TAG_UNKNOWN;
    std::uint32_t blocks = std::min<std::uint32_t>(maxBlocks, BRN_TAG_MEMORY_MAX_BLOCKS);
    if (countTold)
        blocks = std::min(blocks, static_cast<std::uint32_t>(memory.blockCount));
    for (std::uint32_t i = 0; i < blocks; ++i) {
        if (i == BRN_ITEM_BLOCKS && endsWithItemBlocks(memory))
            break;
        const int block = static_cast<int>(i);
        std::uint32_t value = 0;
        if (known && i < BRN_ITEM_BLOCKS && (known->validMask & BRN_RAW_BLOCK(block))) {
            value = known->blocks[i];
        } else if (!family.readBlock(handle, target, block, value).ok) {
            // Without a block count, the memory ends where the reads end.
            if (!countTold && i >= BRN_ITEM_BLOCKS)
                break;
            return BRN_ERR_READ;
        }
        const auto bytes = bytesLsbFirst(value);
        std::copy(bytes.begin(), bytes.end(), memory.memory + memory.size);
        memory.size += BRN_BLOCK_SIZE;
    }
    return BRN_OK;
}

} // namespace brenholt
