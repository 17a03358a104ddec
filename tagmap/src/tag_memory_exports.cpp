// The exported calls of the tag memory (brenholt.h, "Tag memory"): the one
// tag's memory, the memory callback of continuous reading, and the item
// decode of a raw record.
#include "brenholt.h"
#include "errors.h"
#include "field_ops.h"
#include "item_codec.h"
#include "library_state.h"
#include "tag_memory.h"

using namespace brenholt;

extern "C" {

int32_t brnReadSingleTagMemory(brnHandle handle, uint32_t retryDelayMs, uint32_t maxBlocks, brnTagMemory* memory)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        ReaderFamily* family = nullptr;
        if (const std::int32_t error = currentFamily(handle, family))
            return error;
        if (!memory || maxBlocks > BRN_TAG_MEMORY_MAX_BLOCKS)
            return BRN_ERR_PARAMETER;
        ReaderInUse busy;
        Uid uid{};
        if (const std::int32_t error = findSingleTag(*family, handle, {}, retryDelayMs, uid))
            return error;
        const Uid* target = family->addressesSingleReads() ? &uid : nullptr;
        if (const std::int32_t error = readTagMemory(*family, handle, target, uid, nullptr, maxBlocks, *memory))
            return error;
        switchRfOff(*family, handle);
        return BRN_OK;
    });
}

int32_t brnSetTagMemoryCallback(brnHandle handle, uint32_t maxBlocks, brnTagMemoryCallback callback, void* context)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        if (maxBlocks > BRN_TAG_MEMORY_MAX_BLOCKS)
            return BRN_ERR_PARAMETER;
        ReadingState& r = state().reading;
        if (!callback) {
            r.memory = {};
            return BRN_OK;
        }
        if (!r.running || state().currentReader != handle)
            return BRN_ERR_NOT_READING;
        r.memory = {callback, context, maxBlocks};
        return BRN_OK;
    });
}

int32_t brnDecodeRawItem(const brnRawItem* raw, brnItem* item)
{
    return guarded([&]() -> std::int32_t {
        if (!raw || !item)
            return BRN_ERR_PARAMETER;
        decodeItem(*raw, *item);
        return BRN_OK;
    });
}

} // extern "C"
