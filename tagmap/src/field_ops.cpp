#include "field_ops.h"

#include "item_codec.h"
#include "library_state.h"
#include "platform/clock.h"

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

AfiFilter afiFilterFor(std::int32_t itemType)
{
    if (const auto afi = afiForItemType(itemType))
        return {true, *afi};
    return {};
}

std::int32_t findSingleTag(ReaderFamily& family, brnHandle handle, AfiFilter filter, std::uint32_t retryDelayMs,
                           Uid& uid)
{
    constexpr int kInventories = 3;
    std::vector<Uid> tags;
    for (int attempt = 0; attempt < kInventories && tags.empty(); ++attempt) {
        // Only the tags found count, not how the reader judged the inventory.
        family.inventory(handle, InventoryUse::SingleRead, filter, tags);
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
