// Single reads: the one tag on the reader, its blocks, EAS bit and lock
// status, its UID; and the count of tags in the field.
#include <cstring>

#include "brenholt.h"
#include "errors.h"
#include "field_ops.h"
#include "item_codec.h"
#include "library_state.h"

using namespace brenholt;

namespace {

constexpr std::uint32_t kUidWaitMs = 100;

std::int32_t readRaw(brnHandle handle, std::uint32_t retryDelayMs, AfiFilter filter, std::uint32_t requestMask,
                     brnRawItem* item)
{
    ReaderFamily* family = nullptr;
    if (const std::int32_t error = currentFamily(handle, family))
        return error;
    if (requestMask == 0)
        return BRN_OK;
    if (!item)
        return BRN_ERR_PARAMETER;
    ReaderInUse busy;
    Uid uid{};
    if (const std::int32_t error = findSingleTag(*family, handle, filter, retryDelayMs, uid))
        return error;
    // From here on, a failure leaves what was read so far in the record.
    *item = brnRawItem{};
    item->blockSize = BRN_BLOCK_SIZE;
    const Uid* target = family->addressesSingleReads() ? &uid : nullptr;

    if (const std::int32_t error = readTagParts(*family, handle, target, requestMask, false, *item))
        return error;
    switchRfOff(*family, handle);
    return BRN_OK;
}

std::int32_t readItem(brnHandle handle, std::uint32_t retryDelayMs, AfiFilter filter, std::uint32_t requestMask,
                      brnItem* item)
{
    if (!handle)
        return BRN_ERR_HANDLE;
    if (!item)
        return BRN_ERR_PARAMETER;
    brnRawItem raw{};
    if (const std::int32_t error = readRaw(handle, retryDelayMs, filter, itemRequestToRawRequest(requestMask), &raw))
        return error;
    decodeItem(raw, *item);
    return BRN_OK;
}

std::int32_t countTags(brnHandle handle, std::int32_t typeFilter, InventoryUse use, AfiFilter filter)
{
    if (!handle)
        return BRN_ERR_HANDLE;
    state().typeFilter = typeFilter;
    ReaderFamily* family = nullptr;
    if (currentFamily(handle, family) != BRN_OK)
        return 0;
    ReaderInUse busy;
    switchRfOn(*family, handle); // a field that did not come on shows as no tags
    std::vector<Uid> tags;
    const Outcome outcome = family->inventory(handle, use, filter, tags);
    switchRfOff(*family, handle);
    return outcome.ok ? static_cast<std::int32_t>(tags.size()) : 0;
}

} // namespace

extern "C" {

int32_t brnReadSingleRawItem(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask, brnRawItem* item)
{
    return guarded([&] { return readRaw(handle, retryDelayMs, {}, requestMask, item); });
}

int32_t brnReadSingleRawItemByType(brnHandle handle, uint32_t retryDelayMs, int32_t itemType, uint32_t requestMask,
                                   brnRawItem* item)
{
    return guarded([&] { return readRaw(handle, retryDelayMs, afiFilterFor(itemType), requestMask, item); });
}

int32_t brnReadSingleItem(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask, brnItem* item)
{
    return guarded([&] { return readItem(handle, retryDelayMs, {}, requestMask, item); });
}

int32_t brnReadSingleItemByType(brnHandle handle, uint32_t retryDelayMs, int32_t itemType, uint32_t requestMask,
                                brnItem* item)
{
    return guarded([&] { return readItem(handle, retryDelayMs, afiFilterFor(itemType), requestMask, item); });
}

int32_t brnReadSingleUID(brnHandle handle, uint8_t uid[8])
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        ReaderFamily* family = nullptr;
        if (const std::int32_t error = currentFamily(handle, family))
            return error;
        if (!uid)
            return BRN_ERR_PARAMETER;
        ReaderInUse busy;
        Uid found{};
        if (const std::int32_t error = findSingleTag(*family, handle, {}, kUidWaitMs, found))
            return error;
        std::memcpy(uid, found.data(), found.size());
        return BRN_OK; // the field stays on
    });
}

int32_t brnReadSingleRawItemLocking(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask, uint32_t* lockMask)
{
    return guarded([&]() -> std::int32_t {
        ReaderFamily* family = nullptr;
        if (const std::int32_t error = currentFamily(handle, family))
            return error;
        if (requestMask == 0)
            return BRN_OK;
        if (!lockMask)
            return BRN_ERR_PARAMETER;
        ReaderInUse busy;
        Uid uid{};
        if (const std::int32_t error = findSingleTag(*family, handle, {}, retryDelayMs, uid))
            return error;
        *lockMask = 0;
        if (requestMask & BRN_RAW_LOCKS) {
            std::uint32_t locks = 0;
            if (const Outcome status = family->readLocks(handle, nullptr, locks); !status.ok)
                return status.error();
            *lockMask = locks;
        }
        switchRfOff(*family, handle);
        return BRN_OK;
    });
}

int32_t brnReadSingleItemLocking(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask, uint32_t* lockMask)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        if (!lockMask)
            return BRN_ERR_PARAMETER;
        // The lock status and the blocks of the parts asked for.
        const std::uint32_t rawRequest = BRN_RAW_LOCKS | (itemRequestToRawRequest(requestMask) & BRN_RAW_ALL_BLOCKS);
        std::uint32_t rawLocks = 0;
        if (const std::int32_t error = brnReadSingleRawItemLocking(handle, retryDelayMs, rawRequest, &rawLocks))
            return error;
        *lockMask = rawLocksToItemLocks(rawLocks);
        return BRN_OK;
    });
}

int32_t brnInventory(brnHandle handle)
{
    return platform::guarded(0, [&] { return countTags(handle, 255, InventoryUse::Count, {}); });
}

int32_t brnInventoryByType(brnHandle handle, int32_t itemType)
{
    return platform::guarded(0, [&] {
        return countTags(handle, itemType, InventoryUse::CountByType, afiFilterFor(itemType));
    });
}

} // extern "C"
