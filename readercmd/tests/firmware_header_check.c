/* The public header must stay usable from C. */
#include "quorvel_firmware.h"

int orbaHeaderCheckC(void);

int orbaHeaderCheckC(void)
{
    uint16_t image[ORBA_IMAGE_WORDS] = {0xFFFF};
    uint16_t word = 0;
    /* Handle 0 names no link: every programming function fails. */
    int programming = ORBA_InitORBA2Programming(0) + ORBA_LoadDataToProgram(0, 1) +
                      ORBA_ReadDataFromProgram(0, &word) + ORBA_EraseCodeProtectedMemory(0) +
                      ORBA_EndORBA2Programming(0);
    return ORBA_DecryptBinArray(image, 0, 0) + image[0] + programming;
}
