/* The public header must stay usable from C. */
#include "quorvel_firmware.h"

int orbaHeaderCheckC(void);

int orbaHeaderCheckC(void)
{
    uint16_t image[ORBA_IMAGE_WORDS] = {0xFFFF};
    return ORBA_DecryptBinArray(image, 0, 0) + image[0];
}
