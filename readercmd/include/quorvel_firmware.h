/* Firmware images of ORBA2 readers, and the programming of their
 * microcontroller through the modem lines of the reader's serial link.
 *
 * An ORBA2 reader's microcontroller has 14-bit program words. Its firmware
 * comes as an Intel HEX file (byte addresses, each word low byte first) and is
 * turned into a fixed image of 8704 16-bit words, word addresses 0x0000 to
 * 0x21FF: program memory, the configuration words at 0x2000 and the data
 * memory at 0x2100. An image file holds those words little-endian, 17408
 * bytes without a header. An image may be scrambled with a word key: word j
 * is exclusive-ored with key word j mod keyLength.
 *
 * All functions return 1 on success and 0 on failure.
 */
#ifndef QUORVEL_FIRMWARE_H
#define QUORVEL_FIRMWARE_H

#include <stdint.h>

#include "quorvel.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ORBA_IMAGE_WORDS 8704
#define ORBA_IMAGE_FILE_BYTES 17408

/* Reads the HEX file into an image whose unwritten words are 0xFFFF, applies
 * the key when keyLength > 0 and key is given, and writes the image file. A
 * malformed HEX file writes no image file. */
QVL_API int ORBA_HexToBinFile(const char* hexPath, const char* imagePath, int keyLength,
                              const uint16_t* key);

/* Reads the HEX file into image (ORBA_IMAGE_WORDS words); unwritten words are
 * 0. A malformed HEX file leaves image as it was. */
QVL_API int ORBA_HexToBinArray(const char* hexPath, uint16_t* image);

/* Reads an image file into image (ORBA_IMAGE_WORDS words) and unscrambles it
 * with ORBA_DecryptBinArray. Fails when the file cannot be opened or is
 * shorter than an image, leaving image as it was. */
QVL_API int ORBA_BinFileToBinArray(const char* imagePath, uint16_t* image, int keyLength,
                                   const uint16_t* key);

/* Applies the key when keyLength > 0 and key is given, then turns every word
 * 0xFFFF (erased, never written) into 0. */
QVL_API int ORBA_DecryptBinArray(uint16_t* image, int keyLength, const uint16_t* key);

/*
 * Processor programming.
 *
 * The reader's microcontroller is programmed bit by bit over the link's modem
 * lines: DTR carries the host's bits, RTS clocks them, DSR answers with an
 * echo of each bit and, after it, a level that tells whether the transaction
 * goes on (1) or is complete (0). A transaction is a 6-bit command, least
 * significant bit first; the load and read commands are followed by a data
 * word of a zero start bit, 14 data bits and a zero stop bit. These are the
 * primitives; a programming application combines them (enter, load, begin a
 * cycle, read back, increment, ..., end).
 *
 * handle is a link handle of an open serial link. Every function returns 1 on
 * success and 0 on failure: an invalid handle, a link not in programming mode
 * (except for entering it and for the protected-memory erase, which enter it
 * themselves), or a bit whose echo or level was wrong. While a link is in
 * programming mode the calling thread runs at raised priority and busy-waits
 * the bit timing; no reader commands may be sent on that link meanwhile.
 * Enter and end on the same thread.
 */

/* Puts the microcontroller into programming mode with the address counter at
 * 0 (about 0.4 s); 0 when the device did not acknowledge or the link is
 * already in programming mode. On failure RTS is left off. */
QVL_API int ORBA_InitORBA2Programming(int32_t handle);
/* Lines off, 0.5 s for the device to restart, programming mode cleared,
 * normal thread priority; 1 for any valid handle. */
QVL_API int ORBA_EndORBA2Programming(int32_t handle);

/* Data latch := value & 0x3FFF, address counter := 0x2000 (configuration memory). */
QVL_API int ORBA_LoadConfiguration(int32_t handle, uint16_t value);
/* Data latch := value & 0x3FFF, for program memory. */
QVL_API int ORBA_LoadDataToProgram(int32_t handle, uint16_t value);
/* Data latch := value & 0xFF, for data memory. */
QVL_API int ORBA_LoadDataToData(int32_t handle, uint16_t value);
/* The 14-bit word at the address counter. 1 once the command was taken;
 * *value (may be NULL) is then the word as read from the line. */
QVL_API int ORBA_ReadDataFromProgram(int32_t handle, uint16_t* value);
/* The data memory byte at the address counter's low 8 bits; as above. */
QVL_API int ORBA_ReadDataFromData(int32_t handle, uint16_t* value);
/* Address counter + 1. */
QVL_API int ORBA_IncrementAddress(int32_t handle);
/* The two bulk erase setup commands (each followed by 500 us). */
QVL_API int ORBA_BulkEraseSetup1(int32_t handle);
QVL_API int ORBA_BulkEraseSetup2(int32_t handle);
/* Erase and write the latch at the address counter (10 ms). */
QVL_API int ORBA_BeginEraseProgrammingCycle(int32_t handle);
/* Write the latch without erasing first (5 ms). */
QVL_API int ORBA_BeginProgrammingOnlyCycle(int32_t handle);

/* Enters programming mode, erases the whole device including its code
 * protection (program, configuration and data memory), and ends programming
 * mode again. 0 when the link is already in programming mode, the entry
 * fails or any step fails (programming mode is ended all the same). */
QVL_API int ORBA_EraseCodeProtectedMemory(int32_t handle);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_FIRMWARE_H */
