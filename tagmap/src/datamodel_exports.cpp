// The exported calls of the data model codec (brenholt_datamodel.h).
#include <algorithm>

#include "brenholt_datamodel.h"
#include "datamodel.h"
#include "errors.h"
#include "family.h"

using namespace brenholt;

namespace {

bool byteOrUnknown(std::int32_t value) { return value == BRN_DM_BYTE_UNKNOWN || (value >= 0 && value <= 0xFF); }

} // namespace

extern "C" {

BRN_API int32_t brnClassifyTag(const uint8_t* memory, uint32_t size, int32_t afi, int32_t dsfid,
                               brnDataModelInfo* info)
{
    return guarded([&]() -> std::int32_t {
        if (!memory || !info || size < BRN_DM_MIN_MEMORY || !byteOrUnknown(afi) || !byteOrUnknown(dsfid))
            return BRN_ERR_PARAMETER;
        datamodel::classify({memory, size}, afi, dsfid, *info); // no memory: BRN_ERR_RESOURCES
        return BRN_OK;
    });
}

BRN_API int32_t brnClassifyTagMemory(const brnTagMemory* memory, brnDataModelInfo* info)
{
    if (!memory || !info || memory->size > sizeof memory->memory || !byteOrUnknown(memory->afi)
        || !byteOrUnknown(memory->dsfid))
        return BRN_ERR_PARAMETER;
    if (memory->size >= BRN_DM_MIN_MEMORY)
        return brnClassifyTag(memory->memory, memory->size, memory->afi, memory->dsfid, info);
    // Too little to tell anything: unknown, every number the model carries -1.
    *info = brnDataModelInfo{};
    info->flags = BRN_DM_FLAG_MEMORY_ENDS;
    info->crcValid = info->version = info->typeOfUsage = info->parts = info->part = -1;
    return BRN_OK;
}

BRN_API uint32_t brnRawItemTagBytes(const brnRawItem* item, uint8_t bytes[BRN_ITEM_BLOCKS * BRN_BLOCK_SIZE])
{
    return platform::guarded(0u, [&]() -> std::uint32_t {
        if (!item || !bytes)
            return 0;
        std::uint32_t present = 0;
        bool gap = false;
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
            const bool valid = (item->validMask & BRN_RAW_BLOCK(i)) != 0;
            const auto block = bytesLsbFirst(valid ? item->blocks[i] : 0);
            std::copy(block.begin(), block.end(), bytes + i * BRN_BLOCK_SIZE);
            gap = gap || !valid;
            if (!gap)
                present += BRN_BLOCK_SIZE;
        }
        return present;
    });
}

BRN_API const char* brnDataModelName(int32_t model)
{
    return platform::guarded("unknown", [&]() -> const char* {
        switch (model) {
        case BRN_DM_MODEL_HOUSE: return "house";
        case BRN_DM_MODEL_ISO28560_3: return "iso28560-3";
        case BRN_DM_MODEL_ISO28560_2: return "iso28560-2";
        default: return "unknown";
        }
    });
}

BRN_API const char* brnDataElementName(const brnDataElement* element)
{
    return platform::guarded("", [&] { return element ? datamodel::elementName(*element) : ""; });
}

} // extern "C"
