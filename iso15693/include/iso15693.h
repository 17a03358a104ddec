/*
 * ISO/IEC 15693: the request flags, command codes and response flags of
 * vicinity tags as they travel on the air, and the custom commands of the
 * CHM chips. One definition for every library that builds or reads tag
 * requests.
 *
 * A request is [flags][command code][manufacturer code, custom commands
 * only][UID, least significant byte first, when addressed][parameters]; a
 * response is [flags][error code when the error flag is set | data].
 */
#ifndef ISO15693_H
#define ISO15693_H

#include <stdint.h>

/* The 8-byte unique identifier (UID) of a tag. */
#define ISO15693_UID_SIZE 8

/* Request flags (request byte 0), the same in every request. */
#define ISO15693_FLAG_SUBCARRIER ((uint8_t)0x01) /* the tag answers on two subcarriers */
#define ISO15693_FLAG_HIGH_RATE ((uint8_t)0x02)  /* the tag answers at the high data rate */
#define ISO15693_FLAG_INVENTORY ((uint8_t)0x04)  /* an inventory: flags 0x10 and 0x20 read as below */
/* Request flags of every request but an inventory. */
#define ISO15693_FLAG_SELECT ((uint8_t)0x10)  /* only the tag in the selected state answers */
#define ISO15693_FLAG_ADDRESS ((uint8_t)0x20) /* the UID follows: only that tag answers */
#define ISO15693_FLAG_OPTION ((uint8_t)0x40)  /* the command's own option */
/* Request flags of an inventory. */
#define ISO15693_FLAG_AFI ((uint8_t)0x10)      /* the AFI byte follows: only tags of that family answer */
#define ISO15693_FLAG_ONE_SLOT ((uint8_t)0x20) /* one slot instead of sixteen */

/* Command codes. */
#define ISO15693_INVENTORY ((uint8_t)0x01)       /* [AFI][mask length in bits][mask]: DSFID and UID of each tag */
#define ISO15693_STAY_QUIET ((uint8_t)0x02)      /* always addressed; the tag does not answer */
#define ISO15693_READ_BLOCK ((uint8_t)0x20)      /* [block]: the block's bytes */
#define ISO15693_WRITE_BLOCK ((uint8_t)0x21)     /* [block][the block's bytes] */
#define ISO15693_LOCK_BLOCK ((uint8_t)0x22)      /* [block] */
#define ISO15693_READ_BLOCKS ((uint8_t)0x23)     /* [first block][number of blocks - 1] */
#define ISO15693_SELECT ((uint8_t)0x25)          /* always addressed: the tag enters the selected state */
#define ISO15693_RESET_TO_READY ((uint8_t)0x26)  /* the tag leaves the quiet or selected state */
#define ISO15693_WRITE_AFI ((uint8_t)0x27)       /* [AFI] */
#define ISO15693_LOCK_AFI ((uint8_t)0x28)
#define ISO15693_WRITE_DSFID ((uint8_t)0x29)     /* [DSFID] */
#define ISO15693_LOCK_DSFID ((uint8_t)0x2A)
#define ISO15693_SYSTEM_INFO ((uint8_t)0x2B)     /* get system information: info flags, UID, then the fields below */
#define ISO15693_BLOCK_SECURITY ((uint8_t)0x2C)  /* [first block][number of blocks - 1]: a lock byte per block */

/* Information flags of a system information response: the fields present. */
#define ISO15693_INFO_DSFID ((uint8_t)0x01)        /* one byte */
#define ISO15693_INFO_AFI ((uint8_t)0x02)          /* one byte */
#define ISO15693_INFO_MEMORY_SIZE ((uint8_t)0x04)  /* two bytes: blocks - 1, block size in bytes - 1 */
#define ISO15693_INFO_IC_REFERENCE ((uint8_t)0x08) /* one byte */

/* Response flags (response byte 0) and the error code that follows the error flag. */
#define ISO15693_RESPONSE_ERROR ((uint8_t)0x01)       /* the tag refused: an error code follows */
#define ISO15693_ERROR_NOT_SUPPORTED ((uint8_t)0x01)  /* the tag does not know the command */

/* The custom commands of the CHM chips: the IC manufacturer code follows the command code. */
#define ISO15693_CHM_MANUFACTURER ((uint8_t)0x04)
#define ISO15693_CHM_INVENTORY_READ ((uint8_t)0xA0)      /* an inventory that also reads blocks */
#define ISO15693_CHM_FAST_INVENTORY_READ ((uint8_t)0xA1) /* the same at the fast data rate */
#define ISO15693_CHM_SET_EAS ((uint8_t)0xA2)             /* sets the EAS bit */
#define ISO15693_CHM_RESET_EAS ((uint8_t)0xA3)           /* clears the EAS bit */
#define ISO15693_CHM_LOCK_EAS ((uint8_t)0xA4)            /* locks the EAS bit */
#define ISO15693_CHM_EAS_ALARM ((uint8_t)0xA5)           /* a tag answers only while its EAS bit is set */

#endif /* ISO15693_H */
