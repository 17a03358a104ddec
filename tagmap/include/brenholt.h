/* Brenholt, the tag mapping library: library items (books, patron cards,
 * shelf tags) and their layout in the first eight blocks of an ISO 15693 tag.
 *
 * The two records below cross the library's interface. Both belong to the
 * caller, who clears them before use; the library fills them in place.
 *
 * The header is C11 (the slots are an anonymous union) and C++.
 *
 * Tag memory: blocks 0 to 7 of 4 bytes each hold the library data. Each block
 * is one 32-bit value whose least significant byte is tag byte 0.
 */
#ifndef BRENHOLT_H
#define BRENHOLT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define BRN_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define BRN_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Bytes per block; the only value a record may carry in blockSize. */
#define BRN_BLOCK_SIZE 4
/* Number of tag blocks that carry library data. */
#define BRN_ITEM_BLOCKS 8

/* Item types (brnItem.itemType) and the application family identifier (AFI)
 * a tag of that type carries. */
#define BRN_ITEM_TYPE_BOOK 0
#define BRN_ITEM_TYPE_PATRON_CARD 1
#define BRN_ITEM_TYPE_SHELF_TAG 2
#define BRN_AFI_BOOK 0x91u
#define BRN_AFI_PATRON_CARD 0x92u
#define BRN_AFI_SHELF_TAG 0x93u

/* brnRawItem.validMask (also the request mask of the raw reads). */
#define BRN_RAW_EAS 0x001u                      /* easState present / EAS to be written */
#define BRN_RAW_LOCKS 0x002u                    /* lockMask present / locks to be applied */
#define BRN_RAW_BLOCK(i) (0x004u << (i))        /* block i present / to be written */
#define BRN_RAW_ALL_BLOCKS 0x3FCu
#define BRN_RAW_REQUEST_LIMIT 0x3FFu            /* bits 10 and up carry nothing */

/* brnRawItem.lockMask. */
#define BRN_RAW_LOCK_EAS 0x001u                 /* lock the EAS bit (writes only) */
#define BRN_RAW_LOCK_BLOCK(i) (0x004u << (i))   /* block i locked / to be locked */

/* brnItem.validMask; brnItem.lockMask uses the same bit positions (bit 0
 * locks the EAS bit, bit 1 has no meaning there). */
#define BRN_ITEM_EAS 0x01u        /* easState; EAS bit */
#define BRN_ITEM_LOCKS 0x02u      /* lockMask; block lock status */
#define BRN_ITEM_IDENTITY 0x04u   /* formatVersion, typeCode, itemId; blocks 0 and 1 */
#define BRN_ITEM_BLOCK2 0x08u     /* book slots 6-9 or patron card slots 1-5; block 2 */
#define BRN_ITEM_LIBRARY 0x10u    /* libraryId; block 3 */
#define BRN_ITEM_BLOCK4 0x20u     /* book slots 1-5 or patron card slots 6-9; block 4 */
#define BRN_ITEM_EXTRA 0x40u      /* extraWord, extraLong; blocks 5, 6 and 7 */
#define BRN_ITEM_ALL 0x7Fu

/* A tag's library data as stored: eight block values and the EAS state. */
typedef struct brnRawItem {
    int32_t blockSize;   /* BRN_BLOCK_SIZE */
    uint32_t validMask;  /* BRN_RAW_* */
    uint32_t lockMask;   /* BRN_RAW_LOCK_* */
    int32_t easState;    /* 1 on, 0 off */
    uint32_t blocks[BRN_ITEM_BLOCKS];
} brnRawItem;

/* The nine type-dependent slots of a book (itemType 0). Bit places in the
 * tag are given as block:bits. Year fields hold the full year and are stored
 * as a 10-bit code (year - 1970) mod 1024. */
typedef struct brnBookSlots {
    uint32_t bookDateFlag;  /* 4:31 */
    uint32_t bookMonth;     /* 4:30-27 */
    uint32_t bookDay;       /* 4:26-22 */
    uint32_t bookYear;      /* 4:21-12, year code */
    uint32_t bookDateAux;   /* 4:11-0 */
    uint32_t referenceFlag; /* 2:31, 1 for a reference item that is not lent out */
    uint32_t location;      /* 2:30-23, holding location: digit 0-7 << 5 | letter - 'A' */
    uint32_t mediaType;     /* 2:22-18, document type number */
    uint32_t bookAux;       /* 2:17-0 */
} brnBookSlots;

/* The same nine slots seen as a patron card (itemType 1). */
typedef struct brnPatronSlots {
    uint32_t registerMonth; /* 2:31-28 */
    uint32_t registerDay;   /* 2:27-23 */
    uint32_t registerYear;  /* 2:22-13, year code */
    uint32_t patronType;    /* 2:12-5 */
    uint32_t cardStatus;    /* 2:4-0 */
    uint32_t validMonth;    /* 4:31-28 */
    uint32_t validDay;      /* 4:27-23 */
    uint32_t validYear;     /* 4:22-13, year code */
    uint32_t patronAux;     /* 4:12-0 */
} brnPatronSlots;

/* A library item decoded into named fields. */
typedef struct brnItem {
    int32_t blockSize;      /* BRN_BLOCK_SIZE */
    uint32_t validMask;     /* BRN_ITEM_* */
    uint32_t lockMask;      /* BRN_ITEM_* bit positions */
    int32_t easState;       /* 1 on, 0 off */
    uint32_t formatVersion; /* 0:31-28; writers use 1 */
    uint32_t typeCode;      /* 0:27-25 */
    uint64_t itemId;        /* barcode number, 57 bits: 0:24-0 and 1:31-0 */
    uint32_t libraryId;     /* 3:31-0 */
    int32_t itemType;       /* BRN_ITEM_TYPE_*: selects the view of the slots and the AFI */
    union {                 /* the nine slots: book view or patron card view */
        brnBookSlots book;
        brnPatronSlots patron;
    };
    uint32_t extraWord;     /* 5:31-0 */
    uint64_t extraLong;     /* high word 6:31-0, low word 7:31-0 */
} brnItem;

/* The records are exchanged with other programs as they are: their layout is
 * fixed, without padding. */
BRN_STATIC_ASSERT(sizeof(brnRawItem) == 48, "brnRawItem size");
BRN_STATIC_ASSERT(offsetof(brnRawItem, blockSize) == 0, "brnRawItem.blockSize");
BRN_STATIC_ASSERT(offsetof(brnRawItem, validMask) == 4, "brnRawItem.validMask");
BRN_STATIC_ASSERT(offsetof(brnRawItem, lockMask) == 8, "brnRawItem.lockMask");
BRN_STATIC_ASSERT(offsetof(brnRawItem, easState) == 12, "brnRawItem.easState");
BRN_STATIC_ASSERT(offsetof(brnRawItem, blocks) == 16, "brnRawItem.blocks");

BRN_STATIC_ASSERT(sizeof(brnBookSlots) == 36, "brnBookSlots size");
BRN_STATIC_ASSERT(sizeof(brnPatronSlots) == 36, "brnPatronSlots size");
BRN_STATIC_ASSERT(sizeof(brnItem) == 88, "brnItem size");
BRN_STATIC_ASSERT(offsetof(brnItem, blockSize) == 0, "brnItem.blockSize");
BRN_STATIC_ASSERT(offsetof(brnItem, validMask) == 4, "brnItem.validMask");
BRN_STATIC_ASSERT(offsetof(brnItem, lockMask) == 8, "brnItem.lockMask");
BRN_STATIC_ASSERT(offsetof(brnItem, easState) == 12, "brnItem.easState");
BRN_STATIC_ASSERT(offsetof(brnItem, formatVersion) == 16, "brnItem.formatVersion");
BRN_STATIC_ASSERT(offsetof(brnItem, typeCode) == 20, "brnItem.typeCode");
BRN_STATIC_ASSERT(offsetof(brnItem, itemId) == 24, "brnItem.itemId");
BRN_STATIC_ASSERT(offsetof(brnItem, libraryId) == 32, "brnItem.libraryId");
BRN_STATIC_ASSERT(offsetof(brnItem, itemType) == 36, "brnItem.itemType");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookDateFlag) == 40, "slot 1");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookMonth) == 44, "slot 2");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookDay) == 48, "slot 3");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookYear) == 52, "slot 4");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookDateAux) == 56, "slot 5");
BRN_STATIC_ASSERT(offsetof(brnItem, book.referenceFlag) == 60, "slot 6");
BRN_STATIC_ASSERT(offsetof(brnItem, book.location) == 64, "slot 7");
BRN_STATIC_ASSERT(offsetof(brnItem, book.mediaType) == 68, "slot 8");
BRN_STATIC_ASSERT(offsetof(brnItem, book.bookAux) == 72, "slot 9");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.registerMonth) == 40, "slot 1");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.registerDay) == 44, "slot 2");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.registerYear) == 48, "slot 3");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.patronType) == 52, "slot 4");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.cardStatus) == 56, "slot 5");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.validMonth) == 60, "slot 6");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.validDay) == 64, "slot 7");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.validYear) == 68, "slot 8");
BRN_STATIC_ASSERT(offsetof(brnItem, patron.patronAux) == 72, "slot 9");
BRN_STATIC_ASSERT(offsetof(brnItem, extraWord) == 76, "brnItem.extraWord");
BRN_STATIC_ASSERT(offsetof(brnItem, extraLong) == 80, "brnItem.extraLong");

/* ---- Readers, handles and process-wide settings ------------------------ */

/* A reader handle: opaque and pointer-sized; null means none. */
typedef void* brnHandle;

/* Reader families (the family out-value of the opens, brnSwitchReader). */
#define BRN_FAMILY_NONE (-1)   /* no reader opened yet */
#define BRN_FAMILY_TALU 1
#define BRN_FAMILY_ORBA 2
#define BRN_FAMILY_DALRIX 4    /* the second make, through Dalrix.so */
#define BRN_FAMILY_FENO 5

/* Error codes; brnGetErrorString gives their texts. Codes of the reader
 * command library and of the second-make driver are passed on unchanged, so
 * a result may also be one of theirs: the command library's time-out
 * (QVL_ERR_TIMEOUT) has the number of BRN_ERR_VERSION, the reader not
 * answering; the driver's codes are positive (BRN_DRV_* below).
 *
 * No exception leaves the library: a call that fails inside it (no memory)
 * gives BRN_ERR_RESOURCES; brnInventory and brnInventoryByType give 0 then,
 * the text calls "" (brnDataModelName "unknown"). */
#define BRN_OK 0
#define BRN_ERR_PORT (-1)             /* the serial port cannot be opened */
#define BRN_ERR_HOST (-2)             /* cannot connect to the host */
#define BRN_ERR_READER (-3)           /* reader error; not available for this reader family */
#define BRN_ERR_VERSION (-4)          /* reader version error; reader does not answer */
#define BRN_ERR_HANDLE (-5)           /* invalid (null) handle */
#define BRN_ERR_CLOSE (-6)            /* cannot close the connection */
#define BRN_ERR_UNSUPPORTED (-7)      /* feature not supported by the reader */
#define BRN_ERR_NO_READER (-8)        /* no reader found; also: Dalrix.so or one of its entry points missing */
#define BRN_ERR_NOT_READING (-9)      /* reading not started */
#define BRN_ERR_READING (-10)         /* reading in progress */
#define BRN_ERR_RESOURCES (-11)       /* out of resources */
#define BRN_ERR_PARAMETER (-12)       /* parameter error */
#define BRN_ERR_MANY_TAGS (-13)       /* more than one tag in the field */
#define BRN_ERR_NO_TAG (-14)          /* no tag, or tag read/write error */
#define BRN_ERR_READ (-15)            /* read error */

/* The second-make driver's result codes (its DRV_* codes), as they are passed on. */
#define BRN_DRV_NO_ANSWER 0x30        /* no answer in time; the port cannot be opened; the line has gone */
#define BRN_DRV_CRC_ERROR 0x31        /* an answer failed its CRC check */
#define BRN_DRV_LENGTH_ERROR 0x32     /* answer data of the wrong length */
#define BRN_DRV_BUSY 0x33             /* an exchange is already running */

/* Capability bits of brnReaderInfo.capabilities. */
#define BRN_CAP_CHM 0x3               /* TALU readers with the EAS (CHM) commands */
#define BRN_CAP_ISO15693 0x4          /* the reader reaches ISO 15693 tags */

typedef struct brnVersion {
    char versionText[256];
    uint32_t major;
    uint32_t minor;
    uint32_t build;
} brnVersion;

typedef struct brnReaderInfo {
    char model[256];          /* the reader's identification text */
    uint32_t identByte1;      /* first identification byte */
    uint32_t identByte2;      /* second identification byte */
    uint32_t reserved;        /* never written */
    int32_t capabilities;     /* BRN_CAP_* */
    uint32_t capabilitiesExt; /* 0 */
} brnReaderInfo;

BRN_STATIC_ASSERT(sizeof(brnHandle) == sizeof(void*), "brnHandle is pointer-sized");
BRN_STATIC_ASSERT(sizeof(brnVersion) == 268, "brnVersion size");
BRN_STATIC_ASSERT(offsetof(brnVersion, major) == 256, "brnVersion.major");
BRN_STATIC_ASSERT(offsetof(brnVersion, build) == 264, "brnVersion.build");
BRN_STATIC_ASSERT(sizeof(brnReaderInfo) == 276, "brnReaderInfo size");
BRN_STATIC_ASSERT(offsetof(brnReaderInfo, identByte1) == 256, "brnReaderInfo.identByte1");
BRN_STATIC_ASSERT(offsetof(brnReaderInfo, identByte2) == 260, "brnReaderInfo.identByte2");
BRN_STATIC_ASSERT(offsetof(brnReaderInfo, reserved) == 264, "brnReaderInfo.reserved");
BRN_STATIC_ASSERT(offsetof(brnReaderInfo, capabilities) == 268, "brnReaderInfo.capabilities");
BRN_STATIC_ASSERT(offsetof(brnReaderInfo, capabilitiesExt) == 272, "brnReaderInfo.capabilitiesExt");

#if defined(__GNUC__)
#define BRN_API __attribute__((visibility("default")))
#else
#define BRN_API
#endif

/*
 * The library keeps one set of process-wide state for all handles: the
 * family of the reader opened last (every family-dependent call dispatches on
 * it), whether the library has switched a reader's RF field on, and the
 * settings below. Use it from one thread, the one that opened the reader
 * (second-make readers answer through that thread's message loop).
 */

/* "Brenholt V1.0.0 .", 1, 0, 0. */
BRN_API void brnGetVersion(brnVersion* version);
/* The text of an error code: a narrow string in the GBK code page, in
 * constant storage; "" for codes without a text. */
BRN_API const char* brnGetErrorString(int32_t code);

/*
 * Opens the reader on serial port COMport and gives its handle and family.
 * First-make readers are looked for at 115200, 57600, 38400, 19200, 9600 and
 * 4800 baud and told apart by their identification text (BRN_ERR_NO_READER
 * for a text of no known model: the link is closed again). When none answers
 * at any speed, the second make is opened through the driver Dalrix.so,
 * loaded from the folder that holds this library (else from the program's
 * folder; never from the current directory): BRN_ERR_PORT when the driver
 * cannot open the port or no reader answers it, BRN_ERR_VERSION when the
 * reader answers the open but not the information request, and
 * BRN_ERR_NO_READER when Dalrix.so or one of its 44 entry points is missing
 * (nothing of the driver is called then). The open clears the sorting buffer.
 */
BRN_API int32_t brnOpenSerial(int32_t port, brnHandle* handle, int32_t* family);
/* As brnOpenSerial for one make only, by kind (any letter case):
 * "KORVEX" the first make (BRN_ERR_PORT when the port cannot be opened at any
 * speed, else the last identification's failure, e.g. BRN_ERR_VERSION when
 * nothing answered), or "DL" the second make. Another kind:
 * BRN_ERR_NO_READER, nothing is opened. */
BRN_API int32_t brnOpenSerialByType(int32_t port, const char* kind, brnHandle* handle, int32_t* family);
/* Closes the reader (its link, or the driver's port); always BRN_OK. */
BRN_API int32_t brnClose(brnHandle handle);
/*
 * 1 while the reader's line is up; 0 once its device has gone (serial device
 * unplugged or hung up, read error, pseudo-terminal closed, TCP peer closed)
 * or the handle names no open reader; BRN_ERR_HANDLE for a null handle. A
 * gone line never comes back: from then on every command on that handle fails
 * at once, with the code it gives when the reader does not answer
 * (BRN_ERR_VERSION on first-make readers, BRN_DRV_NO_ANSWER on the second
 * make; single reads give it at once
 * instead of looking for a tag three times). Close the handle and open the
 * reader again. This call tells such a failure apart from a reader that is
 * there but silent.
 */
BRN_API int32_t brnReaderConnected(brnHandle handle);
/* Identification and capabilities of a first-make reader; a failed
 * identification closes the handle's link. Second-make readers give none
 * (BRN_ERR_UNSUPPORTED). */
BRN_API int32_t brnGetReaderInfo(brnHandle handle, brnReaderInfo* info);
/* The antenna of a second-make reader (driver result); BRN_ERR_READER for
 * other families. */
BRN_API int32_t brnSelectANT(brnHandle handle, uint8_t antenna);
/* Makes handle and family the ones the family-dependent calls use; BRN_OK. */
BRN_API int32_t brnSwitchReader(brnHandle handle, int32_t family, uint8_t antenna);

/* Settings; the handle is not used. */
BRN_API int32_t brnSetTagsMask(brnHandle handle, uint32_t mask);
BRN_API int32_t brnGetTagsMask(brnHandle handle, uint32_t* mask);
BRN_API int32_t brnSetChannelsMask(brnHandle handle, uint32_t mask);
BRN_API int32_t brnGetChannelsMask(brnHandle handle, uint32_t* mask);
/* How many recently reported tags continuous reading keeps quiet about
 * (default 16); 0 keeps none. BRN_ERR_PARAMETER for a negative depth,
 * BRN_ERR_RESOURCES when the buffer cannot be had (the previous depth stays). */
BRN_API int32_t brnSetSortingBufferDepth(brnHandle handle, int32_t depth);
BRN_API int32_t brnGetSortingBufferDepth(brnHandle handle, int32_t* depth);
/* Period of continuous reading in ms (default 200); number is not used. */
BRN_API int32_t brnSetReadSessionDuration(brnHandle handle, uint32_t number, uint32_t ms);
BRN_API int32_t brnGetReadSessionDuration(brnHandle handle, uint32_t number, uint32_t* ms);

/* ---- Single reads ------------------------------------------------------- */

/*
 * Each read looks for the one tag on the reader: up to three inventories with
 * retryDelayMs after each empty one (BRN_ERR_NO_TAG when none answers),
 * BRN_ERR_MANY_TAGS at once when more than one tag answers. A completed read
 * switches the RF field off; a failed one leaves it on, and the next call does
 * not switch it on again. BRN_ERR_HANDLE null handle, BRN_ERR_READER no
 * reader family set, BRN_ERR_READ a block read failed.
 * A request mask of 0 reads nothing and returns BRN_OK.
 */
BRN_API int32_t brnReadSingleRawItem(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask,
                                     brnRawItem* item);
/* Only tags of the item type (books, patron cards, shelf tags: by their AFI);
 * other types read any tag. */
BRN_API int32_t brnReadSingleRawItemByType(brnHandle handle, uint32_t retryDelayMs, int32_t itemType,
                                           uint32_t requestMask, brnRawItem* item);
BRN_API int32_t brnReadSingleItem(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask, brnItem* item);
BRN_API int32_t brnReadSingleItemByType(brnHandle handle, uint32_t retryDelayMs, int32_t itemType,
                                        uint32_t requestMask, brnItem* item);
/* The tag's UID, most significant byte first. Leaves the RF field on. */
BRN_API int32_t brnReadSingleUID(brnHandle handle, uint8_t uid[8]);
/* Block lock status alone: raw lock bits (BRN_RAW_LOCK_BLOCK) / item lock bits. */
BRN_API int32_t brnReadSingleRawItemLocking(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask,
                                            uint32_t* lockMask);
BRN_API int32_t brnReadSingleItemLocking(brnHandle handle, uint32_t retryDelayMs, uint32_t requestMask,
                                         uint32_t* lockMask);
/* The number of tags in the field (of the item type); 0 when the inventory fails.
 * Every tag counts, on second-make readers too (their streamed inventory),
 * so a caller can make sure one tag alone lies on the reader before it writes
 * to whichever tag answers. */
BRN_API int32_t brnInventory(brnHandle handle);
BRN_API int32_t brnInventoryByType(brnHandle handle, int32_t itemType);

/* ---- Continuous reading ------------------------------------------------- */

/*
 * A periodic timer on the message loop of the thread that starts reading runs
 * one read cycle per read session duration (brnSetReadSessionDuration): one
 * inventory, then for every tag not reported before, the requested reads and
 * the callbacks. The ticks, and so the callbacks, come only while that thread
 * dispatches its loop (platform::MessageLoop; the desktop program drives it
 * from its own event loop). The RF field comes on at the first tick and stays
 * on until reading stops.
 *
 * A tag is reported once and stays quiet while its UID is among the last
 * depth UIDs reported (the sorting buffer, brnSetSortingBufferDepth); a start,
 * an open or a change of depth empties the buffer. A tag that cannot be read
 * completely is not reported and is tried again at the next tick.
 *
 * Events: BRN_EVENT_NEW_TAG a tag not reported before (the record holds what
 * was read; it lives only for the callback); BRN_EVENT_FIELD_EMPTY the field
 * is empty while the sorting buffer holds a reported tag (at every tick, until
 * the next start); BRN_EVENT_MANY_TAGS more than one tag in the field (TALU
 * readers only; the tags are then reported one by one). These two go to the
 * item callback only, with a null record.
 * BRN_EVENT_READER_GONE the reader's line has gone (serial device unplugged or
 * hung up, read error, pseudo-terminal closed, TCP peer closed; see
 * brnReaderConnected): delivered once, with a null record (and a null UID), to
 * the callback reading was started with (item, item UID, raw or raw UID).
 * Reading has stopped when it arrives, exactly as after brnStopReadingItems:
 * the timer is gone and no further callback comes. The handle stays open until
 * the caller closes it. A later start on a gone reader succeeds and gives the
 * event again at its first tick.
 *
 * A callback may stop reading (no callback comes after the stop) or start it
 * again. Ticks that fall due while the library is busy with the reader (a
 * callback that dispatches the loop, or a second-make command waiting for its
 * answer) are skipped. Reads and writes share the RF field with reading:
 * stop reading before them.
 */
#define BRN_EVENT_NEW_TAG 2
#define BRN_EVENT_FIELD_EMPTY 3
#define BRN_EVENT_MANY_TAGS 4
#define BRN_EVENT_READER_GONE 5

/* The type filter of brnStartReadingItemsByType that accepts every type. */
#define BRN_ANY_ITEM_TYPE 255

/* Callbacks: the reader handle, the event, the record (null for
 * BRN_EVENT_FIELD_EMPTY and BRN_EVENT_MANY_TAGS), for the UID callbacks the
 * tag's UID (8 bytes, most significant first), and the caller's context. The
 * context pointer must stay valid until reading stops. */
typedef void (*brnRawItemCallback)(brnHandle handle, int32_t event, brnRawItem* item, void* context);
typedef void (*brnRawUIDCallback)(brnHandle handle, int32_t event, brnRawItem* item, uint8_t* uid, void* context);
typedef void (*brnItemCallback)(brnHandle handle, int32_t event, brnItem* item, void* context);
typedef void (*brnItemUIDCallback)(brnHandle handle, int32_t event, brnItem* item, uint8_t* uid, void* context);

/*
 * Raw starts: the raw request mask says what is read from each tag
 * (BRN_RAW_*). A raw start replaces every callback: the callback given, and
 * none of the other three. (It does not leave an earlier item start's
 * callbacks in place: there is one context pointer, the raw start's, and an
 * item callback left in place would be called with that context, which is
 * not its own, after its caller took reading to have stopped.) A null handle
 * gives BRN_ERR_HANDLE and leaves reading stopped with an empty sorting buffer and no
 * current reader.
 */
BRN_API int32_t brnStartReadingRawItems(brnHandle handle, uint32_t rawRequestMask, brnRawItemCallback callback,
                                        void* context);
BRN_API int32_t brnStartReadingRawUIDs(brnHandle handle, uint32_t rawRequestMask, brnRawUIDCallback callback,
                                       void* context);
/*
 * Item starts: the item request mask (BRN_ITEM_*) is turned into the raw
 * one; the tags are decoded before the callback. A null handle gives
 * BRN_ERR_HANDLE and changes nothing. brnStartReadingItemsByType reads only
 * tags whose AFI is that of a BRN_ITEM_TYPE_* itemType (any tag for other
 * values) and hands the item callback only items whose typeCode equals
 * itemType (every item for BRN_ANY_ITEM_TYPE);
 * a tag of another type is still recorded in the sorting buffer.
 */
BRN_API int32_t brnStartReadingItems(brnHandle handle, uint32_t itemRequestMask, brnItemCallback callback,
                                     void* context);
BRN_API int32_t brnStartReadingUIDs(brnHandle handle, uint32_t itemRequestMask, brnItemUIDCallback callback,
                                    void* context);
BRN_API int32_t brnStartReadingItemsByType(brnHandle handle, int32_t itemType, uint32_t itemRequestMask,
                                           brnItemCallback callback, void* context);
/* Stops reading (either call stops every kind) and switches the RF field off
 * when the library had switched it on. BRN_ERR_HANDLE for a null handle;
 * BRN_OK otherwise, also without a prior start. Closing the reader that is being read stops
 * reading too. */
BRN_API int32_t brnStopReadingRawItems(brnHandle handle);
BRN_API int32_t brnStopReadingItems(brnHandle handle);

/* ---- Writing ------------------------------------------------------------ */

/* Address modes of brnWriteRawItems. */
#define BRN_ADDRESS_ANY 0  /* whichever tag answers */
#define BRN_ADDRESS_UID 2  /* the tag with the given UID */

/*
 * Writes a raw record: the AFI (when writeAfi is not 0), the EAS bit
 * (validMask BRN_RAW_EAS: set when easState is 1, else reset; a tag without
 * EAS support that refuses it does not stop the write), the blocks of
 * validMask BRN_RAW_BLOCK(0..7) in ascending order, then, with validMask
 * BRN_RAW_LOCKS, the locks of lockMask: blocks 0 to 7 (TALU readers never lock
 * block 0; they lock the EAS bit for BRN_RAW_LOCK_EAS, which other families
 * ignore). The RF field is
 * switched on when needed and stays on after a successful write; first-make
 * links keep a command time-out of 6000 ms from the first write on.
 *
 * Any failing step ends the write: blocks written before it stay written,
 * the RF field is switched off, and the result is the step's error
 * (BRN_ERR_NO_TAG when the reader says nothing more specific about a failed
 * block write or lock).
 * A step fails too when the tag refused it, whether the reader says so in its
 * status or only in the tag's answer record: an AFI or EAS bit that is
 * locked, a locked block. (TALU readers keep the tag's answer to an EAS write
 * to themselves: there a locked EAS bit is told from a chip without EAS only
 * when the bit is to be reset and stays on.)
 * BRN_ERR_HANDLE null handle (or one that is not a reader of the current
 * family), BRN_ERR_READER no reader family set, BRN_ERR_PARAMETER a missing
 * record, blockSize other than BRN_BLOCK_SIZE, an address mode other than
 * BRN_ADDRESS_ANY and BRN_ADDRESS_UID, or BRN_ADDRESS_UID without a UID.
 */
BRN_API int32_t brnWriteRawItems(brnHandle handle, int32_t addressMode, const uint8_t uid[8], const brnRawItem* item,
                                 int32_t writeAfi, uint8_t afi);
/*
 * Encodes the item and writes it to whichever tag answers (lay exactly one
 * tag on the reader). With the identifier (validMask BRN_ITEM_IDENTITY) the
 * AFI of the item type is written first (BRN_AFI_BOOK, BRN_AFI_PATRON_CARD,
 * BRN_AFI_SHELF_TAG); an item with the identifier and an itemType other than
 * those three is refused with BRN_ERR_PARAMETER and nothing is written.
 * Without the identifier no AFI is written. A book of library 44120 keeps only
 * the last part of its identifier on the tag: the caller's itemId is reduced
 * to that part. BRN_ERR_HANDLE null handle, BRN_ERR_PARAMETER null item;
 * otherwise as brnWriteRawItems.
 */
BRN_API int32_t brnWriteItems(brnHandle handle, brnItem* item);
/*
 * Rewrites the tag that holds the item's identifier (blocks 0 and 1 as
 * encoded, so formatVersion and typeCode must match too): first among the
 * tags continuous reading reported (no inventory needed when blocks 0 and 1
 * were read), then by searching the field (TALU, ORBA and the second make;
 * the field is switched off after a write found this way). No AFI is written.
 * The handle becomes the current reader of continuous reading.
 * BRN_ERR_PARAMETER itemId 0 or null item (checked first), BRN_ERR_HANDLE null
 * handle, BRN_ERR_NO_TAG no tag in the field or none holds the identifier,
 * BRN_ERR_READER FENO readers when the sorting buffer has no match; otherwise
 * as brnWriteRawItems.
 */
BRN_API int32_t brnWriteItemByItemID(brnHandle handle, brnItem* item);

/* ---- Tag memory --------------------------------------------------------- */

/*
 * Tags written elsewhere may hold another data model than this library's
 * (brenholt_datamodel.h tells them apart). What a tag holds for that: its
 * AFI and DSFID from the tag's system information, and its memory from
 * block 0 on, in tag order (each 4-byte block least significant byte first,
 * as brnRawItemTagBytes gives blocks 0 to 7).
 *
 * How a tag's memory is read: first its system information (AFI, DSFID,
 * number and size of its blocks; what the tag or reader does not tell stays
 * BRN_TAG_UNKNOWN), then blocks 0, 1, ... in order, at most maxBlocks and no
 * more than the tag has:
 *   - blocks 8 and up only when blocks 0 to 7 hold neither this library's
 *     layout nor zeros alone (brnClassifyTag: house, or a blank tag): such a
 *     tag holds nothing further up;
 *   - a tag whose blocks are not 4 bytes long (as its system information
 *     says) gives no memory (size 0): blocks are read 4 bytes at a time;
 *   - a block below 8, or below the block count the tag told, that cannot be
 *     read fails the read (BRN_ERR_READ); without a block count the first
 *     block from 8 on that cannot be read ends the memory.
 */
#define BRN_TAG_MEMORY_MAX_BLOCKS 256
/* An AFI, DSFID, block count or block size the tag did not tell (the same
 * value as BRN_DM_BYTE_UNKNOWN). */
#define BRN_TAG_UNKNOWN (-1)

typedef struct brnTagMemory {
    uint8_t uid[8];       /* the tag's UID, most significant byte first */
    int32_t afi;          /* 0 to 255, or BRN_TAG_UNKNOWN */
    int32_t dsfid;        /* 0 to 255, or BRN_TAG_UNKNOWN */
    int32_t blockCount;   /* blocks of the tag's memory, or BRN_TAG_UNKNOWN */
    int32_t blockSize;    /* bytes per block, or BRN_TAG_UNKNOWN */
    uint32_t size;        /* bytes of memory read, from byte 0 (4 per block) */
    uint8_t memory[BRN_TAG_MEMORY_MAX_BLOCKS * BRN_BLOCK_SIZE];
} brnTagMemory;

BRN_STATIC_ASSERT(sizeof(brnTagMemory) == 28 + BRN_TAG_MEMORY_MAX_BLOCKS * BRN_BLOCK_SIZE, "brnTagMemory size");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, afi) == 8, "brnTagMemory.afi");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, dsfid) == 12, "brnTagMemory.dsfid");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, blockCount) == 16, "brnTagMemory.blockCount");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, blockSize) == 20, "brnTagMemory.blockSize");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, size) == 24, "brnTagMemory.size");
BRN_STATIC_ASSERT(offsetof(brnTagMemory, memory) == 28, "brnTagMemory.memory");

/*
 * The one tag on the reader and its memory (read as above), found as the
 * single reads find it: up to three inventories retryDelayMs apart,
 * BRN_ERR_NO_TAG when none answers, BRN_ERR_MANY_TAGS when more than one
 * does; a completed read switches the RF field off. maxBlocks 0 reads the UID
 * and the system information alone. BRN_ERR_HANDLE null handle,
 * BRN_ERR_READER no reader family set, BRN_ERR_PARAMETER a null record or
 * maxBlocks above BRN_TAG_MEMORY_MAX_BLOCKS, BRN_ERR_READ a block read failed
 * (the record holds what was read before it).
 */
BRN_API int32_t brnReadSingleTagMemory(brnHandle handle, uint32_t retryDelayMs, uint32_t maxBlocks,
                                       brnTagMemory* memory);

/*
 * Continuous reading with the tags' memory. While the reading started last
 * runs, every tag it reports (BRN_EVENT_NEW_TAG) is read as above as well
 * (its system information, the blocks the request mask left out, at most
 * maxBlocks), and callback gets that record just before the reading's own
 * callbacks get the tag: before the raw, raw UID, item and item UID
 * callbacks, also for a tag that the type filter of
 * brnStartReadingItemsByType then keeps from the item callbacks. A tag
 * whose memory cannot be read is not reported and is tried again at the next
 * tick, as any tag that cannot be read completely. The record lives only for
 * the callback; the callback may stop or start reading as the others may.
 *
 * Set it after the start, on the thread that reads: every start and stop,
 * the reader's line going (BRN_EVENT_READER_GONE) and closing the reader
 * clear it, so a context never outlives the reading it was given for. A null
 * callback clears it. BRN_ERR_HANDLE null handle, BRN_ERR_NOT_READING reading
 * does not run or runs on another reader, BRN_ERR_PARAMETER maxBlocks above
 * BRN_TAG_MEMORY_MAX_BLOCKS.
 */
typedef void (*brnTagMemoryCallback)(brnHandle handle, const brnTagMemory* memory, void* context);
BRN_API int32_t brnSetTagMemoryCallback(brnHandle handle, uint32_t maxBlocks, brnTagMemoryCallback callback,
                                        void* context);

/* A raw record decoded into an item, as the item reads decode it: the parts
 * of its validMask (blocks, EAS state, lock status); a book of library 44120
 * gets its full item identifier back. BRN_OK, or BRN_ERR_PARAMETER for a null
 * pointer. */
BRN_API int32_t brnDecodeRawItem(const brnRawItem* raw, brnItem* item);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* BRENHOLT_H */
