/* Firmware images of ORBA2 readers.
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

#ifdef __cplusplus
extern "C" {
#endif

#define ORBA_IMAGE_WORDS 8704
#define ORBA_IMAGE_FILE_BYTES 17408

/* Reads the HEX file into an image whose unwritten words are 0xFFFF, applies
 * the key when keyLength > 0 and key is given, and writes the image file. A
 * malformed HEX file writes no image file. */
int ORBA_HexToBinFile(const char* hexPath, const char* imagePath, int keyLength,
                      const uint16_t* key);

/* Reads the HEX file into image (ORBA_IMAGE_WORDS words); unwritten words are
 * 0. A malformed HEX file leaves image as it was. */
int ORBA_HexToBinArray(const char* hexPath, uint16_t* image);

/* Reads an image file into image (ORBA_IMAGE_WORDS words) and unscrambles it
 * with ORBA_DecryptBinArray. Fails when the file cannot be opened or is
 * shorter than an image, leaving image as it was. */
int ORBA_BinFileToBinArray(const char* imagePath, uint16_t* image, int keyLength,
                           const uint16_t* key);

/* Applies the key when keyLength > 0 and key is given, then turns every word
 * 0xFFFF (erased, never written) into 0. */
int ORBA_DecryptBinArray(uint16_t* image, int keyLength, const uint16_t* key);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORVEL_FIRMWARE_H */
