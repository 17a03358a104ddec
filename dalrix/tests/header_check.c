/* The public header must stay usable from C. The calls sit in sizeof, so
 * they are checked against the declarations but never made or linked. */
#include "dalrix.h"

int dalrixHeaderCheckC(void);

int dalrixHeaderCheckC(void)
{
    uint8_t address = 0xFF, type = 6, afi = 0, list[9], count = 0;
    return (int)sizeof(OpenComPort(0, &address)) + (int)sizeof(Inventory(&address, &type, &afi, list, &count)) +
           DRV_BUSY + DALRIX_SCAN_BUFFER_SIZE;
}
