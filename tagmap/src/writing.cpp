// Writing: a raw record onto whichever tag answers or onto the tag with a
// UID, an item encoded first, and an item rewritten onto the tag that
// already holds its identifier.
#include <algorithm>
#include <optional>
#include <vector>

#include "brenholt.h"
#include "errors.h"
#include "field_ops.h"
#include "item_codec.h"
#include "library_state.h"

using namespace brenholt;

namespace {

// The steps of a raw write on a family's reader. Any failing step switches
// the field off and gives its error.
std::int32_t writeRecord(ReaderFamily& family, brnHandle handle, const Uid* uid, const brnRawItem& raw,
                         std::optional<std::uint8_t> afi)
{
    ReaderInUse busy;
    if (const Outcome on = switchRfOn(family, handle); !on.ok) {
        switchRfOff(family, handle);
        return on.error();
    }
    family.prepareWrite(handle);
    const auto failed = [&](const Outcome& step) {
        switchRfOff(family, handle);
        return step.error();
    };
    if (afi)
        if (const Outcome step = family.writeAfi(handle, uid, *afi); !step.ok)
            return failed(step);
    if (raw.validMask & BRN_RAW_EAS) {
        const EasAction eas = raw.easState == 1 ? EasAction::Set : EasAction::Reset;
        if (const Outcome step = family.writeEas(handle, uid, eas); !step.ok)
            return failed(step);
    }
    for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
        if (raw.validMask & BRN_RAW_BLOCK(i))
            if (const Outcome step = family.writeBlock(handle, uid, i, raw.blocks[i]); !step.ok)
                return failed(step);
    if (!(raw.validMask & BRN_RAW_LOCKS))
        return BRN_OK;
    if (const Outcome step = family.applyLocks(handle, uid, raw.lockMask); !step.ok)
        return failed(step);
    return BRN_OK;
}

std::int32_t writeRaw(brnHandle handle, std::int32_t mode, const std::uint8_t* uidBytes, const brnRawItem* item,
                      std::optional<std::uint8_t> afi)
{
    ReaderFamily* family = nullptr;
    if (const std::int32_t error = currentFamily(handle, family))
        return error;
    if (!item || item->blockSize != BRN_BLOCK_SIZE)
        return BRN_ERR_PARAMETER;
    if (mode != BRN_ADDRESS_ANY && mode != BRN_ADDRESS_UID)
        return BRN_ERR_PARAMETER;
    if (mode == BRN_ADDRESS_UID && !uidBytes)
        return BRN_ERR_PARAMETER;
    Uid uid{};
    if (uidBytes)
        std::copy_n(uidBytes, uid.size(), uid.begin());
    // A copy: the caller's record is not looked at again once the write runs.
    const brnRawItem raw = *item;
    return writeRecord(*family, handle, mode == BRN_ADDRESS_UID ? &uid : nullptr, raw, afi);
}

// The UID of the tag continuous reading reported with these blocks 0 and 1.
std::optional<Uid> reportedTagWith(std::uint32_t block0, std::uint32_t block1)
{
    for (const SortingEntry& entry : state().sorting.ring()) {
        if (entry.uid == Uid{})
            return std::nullopt; // a free entry: no later one is in use
        if (entry.block0 == block0 && entry.block1 == block1)
            return entry.uid;
    }
    return std::nullopt;
}

// The field search of the write by item identifier: the first tag whose
// blocks 0 and 1 match is rewritten, and the field switched off after it.
std::int32_t searchAndWrite(ReaderFamily& family, brnHandle handle, const brnRawItem& raw)
{
    ReaderInUse busy;
    if (const Outcome on = switchRfOn(family, handle); !on.ok)
        return on.error();
    std::vector<Uid> tags;
    if (const Outcome found = family.inventory(handle, InventoryUse::Search, {}, tags); !found.ok)
        return found.error();
    for (const Uid& uid : tags) {
        // A block that cannot be read counts as 0.
        std::uint32_t block0 = 0, block1 = 0;
        family.readBlock(handle, &uid, 0, block0);
        family.readBlock(handle, &uid, 1, block1);
        if (block0 != raw.blocks[0] || block1 != raw.blocks[1])
            continue;
        const std::int32_t result = writeRecord(family, handle, &uid, raw, std::nullopt);
        switchRfOff(family, handle);
        return result;
    }
    return BRN_ERR_NO_TAG; // the field stays on
}

} // namespace

extern "C" {

int32_t brnWriteRawItems(brnHandle handle, int32_t addressMode, const uint8_t uid[8], const brnRawItem* item,
                         int32_t writeAfi, uint8_t afi)
{
    return guarded([&] {
        return writeRaw(handle, addressMode, uid, item, writeAfi ? std::optional<std::uint8_t>(afi) : std::nullopt);
    });
}

int32_t brnWriteItems(brnHandle handle, brnItem* item)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        if (!item)
            return BRN_ERR_PARAMETER;
        const bool identified = item->validMask & BRN_ITEM_IDENTITY;
        const std::optional<std::uint8_t> afi = afiForItemType(item->itemType);
        // A tag that carries an identifier carries its type's AFI; a type
        // without one is not written at all.
        if (identified && !afi)
            return BRN_ERR_PARAMETER;
        brnRawItem raw{};
        encodeItem(*item, raw);
        return writeRaw(handle, BRN_ADDRESS_ANY, nullptr, &raw, identified ? afi : std::nullopt);
    });
}

int32_t brnWriteItemByItemID(brnHandle handle, brnItem* item)
{
    return guarded([&]() -> std::int32_t {
        LibraryState& s = state();
        s.currentReader = handle;
        if (!item || item->itemId == 0)
            return BRN_ERR_PARAMETER;
        if (!handle)
            return BRN_ERR_HANDLE;
        brnRawItem raw{};
        encodeItem(*item, raw);
        // An identifier whose stored bits are all 0 would match every tag whose
        // blocks 0 and 1 were not read.
        if (raw.blocks[0] == 0 && raw.blocks[1] == 0)
            return BRN_ERR_PARAMETER;
        if (const std::optional<Uid> uid = reportedTagWith(raw.blocks[0], raw.blocks[1]))
            return writeRaw(handle, BRN_ADDRESS_UID, uid->data(), &raw, std::nullopt);
        ReaderFamily* family = nullptr;
        if (const std::int32_t error = currentFamily(handle, family))
            return error;
        if (!family->searchesField())
            return BRN_ERR_READER;
        if (raw.blockSize != BRN_BLOCK_SIZE)
            return BRN_ERR_PARAMETER;
        return searchAndWrite(*family, handle, raw);
    });
}

} // extern "C"
