/* The further command tables' declarations must stay usable from C, with the sizes callers rely on. */
#include <stddef.h>

#include "quorvel.h"

_Static_assert(sizeof(FENO_Features) == 56, "the features record keeps its layout in C");
_Static_assert(offsetof(FENO_Features, flags3) == 44, "the last flags of the features record");
_Static_assert(FENO_MAX_MUX_ITEMS * 2 + 5 <= 255, "a wedge multiplexer sequence fits one frame");
_Static_assert(GIRM_DATABASE_ENTRY_SIZE == 40, "a database entry is 40 bytes");
_Static_assert(ORBA_LIST_SIZE + 1 <= 255, "a list never exceeds an answer");
_Static_assert(QVL_STATUS_BAD_ARGUMENT == 0x82 && QVL_STATUS_READ_ERROR == 0x89 && QVL_STATUS_NO_TAG == 0xC4 &&
                   QVL_STATUS_TAG_READ_ERROR == 0xC5 && QVL_STATUS_MANY_TAGS == 0xCC,
               "the reader status bytes as the readers send them");

int tablesHeaderCheckC(void);

int tablesHeaderCheckC(void)
{
    int32_t (*features)(int32_t, FENO_Features*, uint8_t*) = FENO_GetRPUFeatures;
    int32_t (*entry)(int32_t, uint16_t, uint8_t*, uint8_t*) = GIRM_GetDatabaseEntry;
    int32_t (*scan)(int32_t, int32_t, uint32_t, int32_t, int32_t, uint8_t*, uint8_t*, uint8_t*, uint8_t*) =
        ORBA_ScanRf;
    int32_t (*star)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint16_t, int32_t, int32_t*, int32_t*,
                    uint16_t*, uint8_t*, uint8_t*) = TALU_ReadSTARCHJ;
    return (features != 0) + (entry != 0) + (scan != 0) + (star != 0);
}
