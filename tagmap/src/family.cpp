#include "family.h"

namespace brenholt {

Outcome ReaderFamily::applyLocks(brnHandle handle, const Uid* uid, std::uint32_t rawLockMask)
{
    for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
        if (rawLockMask & BRN_RAW_LOCK_BLOCK(i))
            if (const Outcome locked = lockBlock(handle, uid, i); !locked.ok)
                return locked;
    return Outcome::success();
}

bool parseSystemInfo(const std::uint8_t* answer, std::size_t size, SystemInfo& info)
{
    constexpr std::size_t kHead = 1 + 8; // information flags, UID
    if (!answer || size < kHead)
        return false;
    // The optional fields in answer order: DSFID, AFI, memory size, IC reference.
    constexpr struct {
        std::uint8_t flag;
        std::size_t bytes;
    } kFields[] = {{kInfoDsfid, 1}, {kInfoAfi, 1}, {kInfoMemorySize, 2}, {kInfoIcReference, 1}};
    const std::uint8_t flags = answer[0];
    std::size_t needed = kHead;
    for (const auto& field : kFields)
        if (flags & field.flag)
            needed += field.bytes;
    if (size < needed)
        return false;
    const std::uint8_t* at = answer + kHead;
    if (flags & kInfoDsfid)
        info.dsfid = *at++;
    if (flags & kInfoAfi)
        info.afi = *at++;
    if (flags & kInfoMemorySize) {
        info.blockCount = at[0] + 1;
        info.blockSize = (at[1] & 0x1F) + 1;
    }
    return true;
}

ReaderFamily* familyFor(std::int32_t number)
{
    switch (number) {
    case BRN_FAMILY_TALU: return &taluFamily();
    case BRN_FAMILY_ORBA: return &orbaFamily();
    case BRN_FAMILY_DALRIX: return &dalrixFamily();
    case BRN_FAMILY_FENO: return &fenoFamily();
    default: return nullptr;
    }
}

} // namespace brenholt
