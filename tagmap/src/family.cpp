#include "family.h"

namespace brenholt {

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
