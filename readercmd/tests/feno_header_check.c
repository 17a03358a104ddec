/* The FENO declarations must stay usable from C, with the widths callers rely on. */
#include "quorvel.h"

_Static_assert(FENO_ENTRY_SIZE == 256, "one inventory entry slot is 256 bytes");
_Static_assert(FENO_MAX_ENTRIES * 6 >= 255, "a 255-byte answer never holds more entries than the array");

int fenoHeaderCheckC(void);

int fenoHeaderCheckC(void)
{
    int32_t (*inventory)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const uint8_t*, uint16_t,
                         int32_t*, uint8_t*, uint8_t*) = FENO_InventoryISO15693Ex;
    int32_t (*read)(int32_t, int32_t, int32_t, uint8_t, const uint8_t*, uint16_t, uint8_t*, uint8_t*, uint8_t*) =
        FENO_ReadBlockISO15693;
    int32_t (*check)(int32_t, int32_t, uint8_t, const uint8_t*, int32_t, int32_t, uint16_t, int32_t*, uint8_t*) =
        FENO_CheckEASCHMISO15693;
    return (inventory != 0) + (read != 0) + (check != 0);
}
