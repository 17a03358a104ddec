#include "field_ops.h"

#include "first_make.h"
#include "item_codec.h"
#include "library_state.h"
#include "platform/clock.h"
#include "quorvel.h"
#include "second_make.h"

namespace brenholt {

Outcome switchRfOn(ReaderFamily& family, brnHandle handle)
{
    if (state().rfOn)
        return Outcome::success();
    const Outcome outcome = family.setRf(handle, true);
    if (outcome.ok)
        state().rfOn = true;
    return outcome;
}

void switchRfOff(ReaderFamily& family, brnHandle handle)
{
    family.setRf(handle, false);
    state().rfOn = false;
}

bool readerLineUp(brnHandle handle)
{
    if (isSecondMakeReader(handle))
        return secondMakeLineUp();
    return isLinkHandle(handle) && QVL_IsHandleValid(linkOf(handle)) == 0;
}

AfiFilter afiFilterFor(std::int32_t itemType)
{
    if (const auto afi = afiForItemType(itemType))
        return {true, *afi};
    return {};
}

std::int32_t findSingleTag(ReaderFamily& family, brnHandle handle, AfiFilter filter, std::uint32_t retryDelayMs,
                           Uid& uid)
{
    if (const Outcome on = switchRfOn(family, handle); !on.ok)
        return on.error();
    constexpr int kInventories = 3;
    std::vector<Uid> tags;
    for (int attempt = 0; attempt < kInventories && tags.empty(); ++attempt) {
        // Only the tags found count, not how the reader judged the inventory,
        // unless the reader has gone: no retry can find a tag then.
        if (const Outcome outcome = family.inventory(handle, InventoryUse::SingleRead, filter, tags);
            !outcome.ok && tags.empty() && !readerLineUp(handle))
            return outcome.error();
        if (tags.empty())
            platform::sleepMs(retryDelayMs);
    }
    if (tags.empty())
        return BRN_ERR_NO_TAG;
    if (tags.size() > 1)
        return BRN_ERR_MANY_TAGS;
    uid = tags.front();
    return BRN_OK;
}

std::int32_t readTagParts(ReaderFamily& family, brnHandle handle, const Uid* uid, std::uint32_t requestMask,
                          bool locksOptional, brnRawItem& raw)
{
    if (requestMask & BRN_RAW_EAS) {
        std::optional<std::int32_t> eas;
        if (const Outcome query = family.queryEas(handle, uid, eas); !query.ok)
            return query.error();
        if (eas) {
            raw.easState = *eas;
            raw.validMask |= BRN_RAW_EAS;
        }
    }
    if (requestMask & BRN_RAW_LOCKS) {
        std::uint32_t locks = 0;
        if (const Outcome status = family.readLocks(handle, uid, locks); status.ok) {
            raw.lockMask = locks;
            raw.validMask |= BRN_RAW_LOCKS;
        } else if (!locksOptional) {
            return status.error();
        }
    }
    for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
        if (!(requestMask & BRN_RAW_BLOCK(i)))
            continue;
        std::uint32_t value = 0;
        if (!family.readBlock(handle, uid, i, value).ok)
            return BRN_ERR_READ;
        raw.blocks[i] = value;
        raw.validMask |= BRN_RAW_BLOCK(i);
    }
    return BRN_OK;
}

std::int32_t currentFamily(brnHandle handle, ReaderFamily*& family)
{
    family = familyFor(state().family);
    if (!family)
        return BRN_ERR_READER;
    if (!handle || !family->accepts(handle))
        return BRN_ERR_HANDLE;
    return BRN_OK;
}

} // namespace brenholt
