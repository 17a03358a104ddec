/* The public headers must stay usable from C. */
#include "quorvel.h"

int taluHeaderCheckC(void);

int taluHeaderCheckC(void)
{
    TALU_Features features = {0};
    uint8_t status = 0;
    return (int)sizeof features + (TALU_SetRf(0, 1, &status) != 0 ? 1 : 0);
}
