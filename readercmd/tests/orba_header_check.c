/* The ORBA declarations, through the library's umbrella header, must stay usable from C. */
#include "quorvel.h"

int orbaCommandsHeaderCheckC(void);

int orbaCommandsHeaderCheckC(void)
{
    uint8_t count = 0, lengths[ORBA_MAX_RECORDS], slots[ORBA_MAX_RECORDS * ORBA_RECORD_SLOT_SIZE], status = 0;
    return ORBA_InventoryISO15693(0, 0, 0, 0, 0, 0, &count, lengths, slots, &status);
}
