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
