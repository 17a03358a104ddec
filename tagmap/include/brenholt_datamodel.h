/* Brenholt's data model codec: tells which data model a tag's memory holds
 * and decodes the two public library data models.
 *
 *   house        this library's own layout (brenholt.h): blocks 0 to 7 as
 *                32-bit values, AFI 0x91 book, 0x92 patron card, 0x93 shelf tag
 *   ISO 28560-3  the fixed-length model (the Danish data model): a 34-byte
 *                basic block with a CRC, then optional extension blocks
 *   ISO 28560-2  ISO/IEC 15962 data elements: precursor, length, compacted
 *                data, one element per object identifier (OID)
 *
 * The codec works on memory bytes alone; it never talks to a reader. The
 * caller passes the tag's memory in tag order (byte 0 of block 0 first): at
 * least the 32 bytes of blocks 0 to 7, more when it has them (extension
 * blocks and longer ISO 28560-2 data live further up), and the tag's AFI and
 * DSFID when it knows them. brnRawItemTagBytes turns the blocks of a
 * brnRawItem into such bytes.
 *
 * How a tag is classified, first match wins:
 *   1. every byte 0: a blank tag (BRN_DM_MODEL_UNKNOWN, BRN_DM_FLAG_BLANK);
 *   2. the ISO 28560-3 basic block's CRC matches: ISO 28560-3, unless
 *      byte 3 reads as this library's block 0 (see 5) and the AFI is not a
 *      library-standard one (0x07, 0xC2): a real ISO 28560-3 identifier never
 *      starts with the control characters 0x10-0x15;
 *   3. AFI 0x91, 0x92 or 0x93: house;
 *   4. the CRC matches once the bytes of every 4-byte block are reversed
 *      (some writers store blocks that way): ISO 28560-3,
 *      BRN_DM_FLAG_BLOCKS_REVERSED;
 *   5. DSFID 0x06 and the memory starts with an ISO/IEC 15962 element for
 *      OID 1: ISO 28560-2;
 *   6. byte 3 in 0x10-0x15 (block 0 of this library's layout: format
 *      version 1, item type 0 to 2, in the block value's top byte) and an AFI
 *      other than 0x07 and 0xC2: house;
 *   7. the whole memory parses as ISO/IEC 15962 elements, OID 1 first and
 *      only once, with text, every OID one that ISO 28560-2 defines (1-26):
 *      ISO 28560-2, BRN_DM_FLAG_GUESSED;
 *   8. otherwise unknown. Memory laid out like an ISO 28560-3 basic block
 *      whose CRC fails is unknown, decoded all the same, with
 *      BRN_DM_FLAG_CRC_FAILED and crcValid 0.
 *
 * Where the public descriptions of the models disagree, the codec takes the
 * reading most of them share, and says so with a flag when the tag shows the
 * other one:
 *   - byte 0 of an ISO 28560-3 tag: version in the high nibble, type of usage
 *     in the low one (0x11 circulating item, 0x18 patron card). When the high
 *     nibble is not 1 and the low one is, the writer swapped them (0x81: a
 *     patron card): BRN_DM_FLAG_USAGE_SWAPPED;
 *   - byte 1 is the number of parts in the set, byte 2 this tag's part. When
 *     the part is above a non-zero number of parts, the two are swapped:
 *     BRN_DM_FLAG_PARTS_SWAPPED;
 *   - the owner library (bytes 21-33) is a two-letter country code and the
 *     rest of the ISIL; the ISIL is given with a hyphen after the country
 *     ("DK" "718500" gives "DK-718500"), whatever the prefix;
 *   - the CRC (CRC-16, polynomial 0x1021, start 0xFFFF, no final XOR, stored
 *     low byte at 19, high byte at 20) covers bytes 0-18 and 21-33; bytes a
 *     32- or 33-byte memory lacks count as 0x00 (BRN_DM_FLAG_OWNER_TRUNCATED:
 *     the owner keeps only bytes 23-31);
 *   - an extension block is [length, block ID low, block ID high, XOR
 *     checksum, fields...]: length counts every byte of the block, 0 ends
 *     the chain, 1 is a one-byte filler; the XOR of all bytes is 0; block
 *     IDs are 16 bits. Fields of blocks 1 to 5 are zero-terminated strings
 *     in a fixed order (block 1 starts with a one-byte media format); a
 *     block may stop early. Other IDs are one unstructured field;
 *   - byte 3 = 0x01 means the item identifier is longer than 16 bytes and
 *     is the long item identifier of the library extension block (ID 1)
 *     (BRN_DM_FLAG_LONG_ITEM_ID);
 *   - ISO 28560-2: the owner library (OID 3) and the ILL borrowing
 *     institution (OID 11) in application-defined compaction use the ISIL
 *     scheme (5-bit upper/lower-case letter sets, a 4-bit digit set); the
 *     type of usage (OID 5) is one byte whose high nibble is the class
 *     (typeOfUsage) and low nibble the sub-qualifier. Trailing '@' (5-bit),
 *     spaces (6-bit) and NULs (7-bit) are padding and dropped.
 *
 * The header is C11 and C++. No function keeps a pointer to the caller's
 * memory; every function may be called from any thread.
 */
#ifndef BRENHOLT_DATAMODEL_H
#define BRENHOLT_DATAMODEL_H

#include "brenholt.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Data models (brnDataModelInfo.model); brnDataModelName gives their names. */
#define BRN_DM_MODEL_UNKNOWN 0      /* "unknown": blank, damaged, or some other layout */
#define BRN_DM_MODEL_HOUSE 1        /* "house": this library's own layout */
#define BRN_DM_MODEL_ISO28560_3 2   /* "iso28560-3" */
#define BRN_DM_MODEL_ISO28560_2 3   /* "iso28560-2" */

/* An AFI or DSFID the caller does not know (brnClassifyTag). */
#define BRN_DM_BYTE_UNKNOWN (-1)
BRN_STATIC_ASSERT(BRN_DM_BYTE_UNKNOWN == BRN_TAG_UNKNOWN,
                  "a tag memory record's unknown AFI and DSFID classify as unknown");
/* A number of brnDataModelInfo that the model does not carry. */
#define BRN_DM_NOT_CARRIED (-1)

/* AFI values of the library data models: an item in the library's stock, an
 * item on loan (ISO 28560-1). */
#define BRN_DM_AFI_IN_STOCK 0x07u
#define BRN_DM_AFI_ON_LOAN 0xC2u
/* The DSFID of ISO/IEC 15962 data written without a directory (ISO 28560-2). */
#define BRN_DM_DSFID_ISO28560_2 0x06u

/* The fewest memory bytes the codec classifies: blocks 0 to 7. */
#define BRN_DM_MIN_MEMORY 32u
/* Bytes of the ISO 28560-3 basic block. */
#define BRN_DM_BASIC_BLOCK 34u

/* brnDataModelInfo.flags. */
#define BRN_DM_FLAG_BLANK 0x0001u            /* every memory byte is 0 */
#define BRN_DM_FLAG_BLOCKS_REVERSED 0x0002u  /* ISO 28560-3 with the bytes of each 4-byte block reversed */
#define BRN_DM_FLAG_USAGE_SWAPPED 0x0004u    /* byte 0 holds type of usage in the high nibble */
#define BRN_DM_FLAG_PARTS_SWAPPED 0x0008u    /* byte 1 held this part, byte 2 the number of parts */
#define BRN_DM_FLAG_OWNER_TRUNCATED 0x0010u  /* fewer than 34 bytes: the owner library is bytes 23-31 only */
#define BRN_DM_FLAG_LONG_ITEM_ID 0x0020u     /* byte 3 = 0x01: identifier from the library extension block */
#define BRN_DM_FLAG_CRC_FAILED 0x0040u       /* laid out like an ISO 28560-3 basic block, but its CRC fails */
#define BRN_DM_FLAG_MEMORY_ENDS 0x0080u      /* the data goes on past the bytes given: read more blocks */
#define BRN_DM_FLAG_CHECKSUM_FAILED 0x0100u  /* an extension block's XOR checksum fails (see its elements) */
#define BRN_DM_FLAG_GUESSED 0x0200u          /* ISO 28560-2 by its layout alone: the DSFID is not 0x06 */
#define BRN_DM_FLAG_MALFORMED 0x0400u        /* decoding stopped at bytes that form no element or block */
#define BRN_DM_FLAG_ELEMENTS_DROPPED 0x0800u /* more elements than brnDataModelInfo.elements holds */
#define BRN_DM_FLAG_TEXT_CUT 0x1000u         /* a text was longer than its field and was cut */

/* Bytes of a text field, its terminating NUL included. */
#define BRN_DM_ID_SIZE 64u
#define BRN_DM_TEXT_SIZE 128u
/* Elements one brnDataModelInfo holds. */
#define BRN_DM_MAX_ELEMENTS 32u

/* brnDataElement.kind. */
#define BRN_DM_ELEMENT_BLOCK_FIELD 1u  /* a field of an ISO 28560-3 extension block */
#define BRN_DM_ELEMENT_OBJECT 2u       /* an ISO 28560-2 data element */

/* brnDataElement.flags. */
#define BRN_DM_ELEMENT_HEX 0x01u              /* text is the data in hex: it is no text */
#define BRN_DM_ELEMENT_CHECKSUM_FAILED 0x02u  /* its extension block's checksum fails */
#define BRN_DM_ELEMENT_CUT 0x04u              /* text cut to fit */

/* ISO 28560-3 extension block IDs (brnDataElement.id). */
#define BRN_DM_BLOCK_LIBRARY 1u      /* media format, long item identifier, owner institution */
#define BRN_DM_BLOCK_ACQUISITION 2u  /* supplier, product identifier, order number, supplier invoice */
#define BRN_DM_BLOCK_SUPPLEMENT 3u   /* MARC media format, ONIX media format, shelf location, subsidiary */
#define BRN_DM_BLOCK_TITLE 4u        /* title */
#define BRN_DM_BLOCK_ILL 5u          /* borrowing institution, transaction number, alternative institution */

/* ISO 28560-2 object identifiers (brnDataElement.id) the codec itself uses. */
#define BRN_DM_OID_ITEM_ID 1u
#define BRN_DM_OID_OWNER 3u
#define BRN_DM_OID_TYPE_OF_USAGE 5u
#define BRN_DM_OID_ILL_BORROWER 11u
#define BRN_DM_OID_LAST_DEFINED 26u

/* ISO/IEC 15962 compaction schemes (brnDataElement.compaction). */
#define BRN_DM_COMPACTION_APPLICATION 0u  /* application-defined; the ISIL scheme for OIDs 3 and 11 */
#define BRN_DM_COMPACTION_INTEGER 1u      /* big-endian unsigned integer; text in decimal */
#define BRN_DM_COMPACTION_NUMERIC 2u      /* one digit per nibble, 0xF pads */
#define BRN_DM_COMPACTION_5BIT 3u         /* A-Z and [\]^_ */
#define BRN_DM_COMPACTION_6BIT 4u         /* digits, capitals, space, punctuation */
#define BRN_DM_COMPACTION_7BIT 5u         /* 7-bit ASCII */
#define BRN_DM_COMPACTION_OCTET 6u        /* ISO 8859-1 bytes */
#define BRN_DM_COMPACTION_UTF8 7u         /* UTF-8 */

/* One decoded field: an extension block's field or an ISO 28560-2 element. */
typedef struct brnDataElement {
    uint32_t kind;        /* BRN_DM_ELEMENT_* */
    uint32_t id;          /* extension block ID, or the element's OID */
    uint32_t field;       /* extension block: field number in the block's order, from 0; element: 0 */
    uint32_t compaction;  /* element: BRN_DM_COMPACTION_*; extension block: 0 */
    uint32_t flags;       /* BRN_DM_ELEMENT_* flags */
    uint32_t offset;      /* memory byte where its data starts (BRN_DM_FLAG_BLOCKS_REVERSED: counted
                             in the memory with each block's bytes reversed back) */
    uint32_t length;      /* bytes of data (compacted, for an element) */
    char text[BRN_DM_TEXT_SIZE]; /* the value: UTF-8, NUL-terminated; numbers in decimal; hex when flagged */
} brnDataElement;

/* What a tag's memory holds. Texts are UTF-8 and NUL-terminated; a number
 * the model does not carry is BRN_DM_NOT_CARRIED. */
typedef struct brnDataModelInfo {
    int32_t model;          /* BRN_DM_MODEL_* */
    uint32_t flags;         /* BRN_DM_FLAG_* */
    int32_t crcValid;       /* ISO 28560-3 layout: 1 the CRC matches, 0 it fails; BRN_DM_NOT_CARRIED no such layout */
    uint32_t crcStored;     /* ISO 28560-3 layout: bytes 19 (low) and 20 (high) */
    uint32_t crcComputed;   /* ISO 28560-3 layout: the CRC of the basic block */
    int32_t version;        /* ISO 28560-3: version / content parameter (1) */
    int32_t typeOfUsage;    /* ISO 28560-3: 0 acquisition, 1 circulating, 2 not for circulation, 3-4 local,
                               5 future use, 6 no information, 7 discarded, 8 patron card, 9 equipment;
                               ISO 28560-2: the class nibble of OID 5 on the same scale */
    int32_t parts;          /* ISO 28560-3: number of parts in the set */
    int32_t part;           /* ISO 28560-3: this tag's part number */
    uint32_t elementCount;  /* elements used */
    char itemId[BRN_DM_ID_SIZE];  /* primary item identifier; "" when there is none */
    char owner[BRN_DM_ID_SIZE];   /* owner library as an ISIL with its hyphen, e.g. "DK-718500"; "" none */
    brnDataElement elements[BRN_DM_MAX_ELEMENTS]; /* extension block fields (empty ones left out) or
                                                     data elements, in memory order */
} brnDataModelInfo;

BRN_STATIC_ASSERT(sizeof(brnDataElement) == 28 + BRN_DM_TEXT_SIZE, "brnDataElement size");
BRN_STATIC_ASSERT(offsetof(brnDataElement, kind) == 0, "brnDataElement.kind");
BRN_STATIC_ASSERT(offsetof(brnDataElement, id) == 4, "brnDataElement.id");
BRN_STATIC_ASSERT(offsetof(brnDataElement, field) == 8, "brnDataElement.field");
BRN_STATIC_ASSERT(offsetof(brnDataElement, compaction) == 12, "brnDataElement.compaction");
BRN_STATIC_ASSERT(offsetof(brnDataElement, flags) == 16, "brnDataElement.flags");
BRN_STATIC_ASSERT(offsetof(brnDataElement, offset) == 20, "brnDataElement.offset");
BRN_STATIC_ASSERT(offsetof(brnDataElement, length) == 24, "brnDataElement.length");
BRN_STATIC_ASSERT(offsetof(brnDataElement, text) == 28, "brnDataElement.text");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, model) == 0, "brnDataModelInfo.model");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, flags) == 4, "brnDataModelInfo.flags");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, crcValid) == 8, "brnDataModelInfo.crcValid");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, crcStored) == 12, "brnDataModelInfo.crcStored");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, crcComputed) == 16, "brnDataModelInfo.crcComputed");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, version) == 20, "brnDataModelInfo.version");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, typeOfUsage) == 24, "brnDataModelInfo.typeOfUsage");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, parts) == 28, "brnDataModelInfo.parts");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, part) == 32, "brnDataModelInfo.part");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, elementCount) == 36, "brnDataModelInfo.elementCount");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, itemId) == 40, "brnDataModelInfo.itemId");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, owner) == 40 + BRN_DM_ID_SIZE, "brnDataModelInfo.owner");
BRN_STATIC_ASSERT(offsetof(brnDataModelInfo, elements) == 40 + 2 * BRN_DM_ID_SIZE, "brnDataModelInfo.elements");
BRN_STATIC_ASSERT(sizeof(brnDataModelInfo) == 40 + 2 * BRN_DM_ID_SIZE + BRN_DM_MAX_ELEMENTS * sizeof(brnDataElement),
                  "brnDataModelInfo size");

/*
 * Classifies a tag's memory and decodes what it holds into info (cleared
 * first). memory: size bytes in tag order, size at least BRN_DM_MIN_MEMORY.
 * afi and dsfid: the tag's values 0 to 255, or BRN_DM_BYTE_UNKNOWN. A house
 * tag is only named (model, flags): decode it with the brnItem reads.
 * BRN_OK, or BRN_ERR_PARAMETER for a null pointer, fewer than
 * BRN_DM_MIN_MEMORY bytes, or an AFI or DSFID out of range (info is then left
 * as it was); BRN_ERR_RESOURCES when memory runs out.
 */
BRN_API int32_t brnClassifyTag(const uint8_t* memory, uint32_t size, int32_t afi, int32_t dsfid,
                               brnDataModelInfo* info);

/* brnClassifyTag on a tag's memory as read (brnReadSingleTagMemory, the tag
 * memory callback): its memory, AFI and DSFID. A record of fewer than 32
 * bytes is unknown with BRN_DM_FLAG_MEMORY_ENDS. BRN_OK, or BRN_ERR_PARAMETER
 * for a null pointer, a size above the record's memory, or an AFI or DSFID
 * out of range (info is then left as it was). */
BRN_API int32_t brnClassifyTagMemory(const brnTagMemory* memory, brnDataModelInfo* info);

/* The tag bytes of a raw record's blocks 0 to 7 in tag order: each block
 * value least significant byte first. Blocks the record does not mark
 * present (validMask) give zeros. Returns how many bytes from byte 0 on come
 * from present blocks (BRN_ITEM_BLOCKS * BRN_BLOCK_SIZE when all eight are);
 * 0 for a null pointer. */
BRN_API uint32_t brnRawItemTagBytes(const brnRawItem* item, uint8_t bytes[BRN_ITEM_BLOCKS * BRN_BLOCK_SIZE]);

/* The name of a model: "house", "iso28560-3", "iso28560-2", "unknown" (also
 * for values that are no model). Constant storage. */
BRN_API const char* brnDataModelName(int32_t model);

/* The English name of an element's field, e.g. "title", "supplier invoice
 * number", "owner library"; "" when the codec knows none (unstructured
 * extension blocks, undefined OIDs, a null pointer). Constant storage. */
BRN_API const char* brnDataElementName(const brnDataElement* element);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* BRENHOLT_DATAMODEL_H */
