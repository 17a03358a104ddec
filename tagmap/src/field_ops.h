// What reads and writes share: the RF field with the library's RF-on flag,
// the AFI filter of an item type, and the search for the one tag on a reader.
#pragma once

#include <cstdint>

#include "family.h"

namespace brenholt {

// Switches the field on unless the RF-on flag says the library already has;
// the flag is set when it comes on.
Outcome switchRfOn(ReaderFamily& family, brnHandle handle);
// Switches the field off and clears the flag (a failure is not reported).
void switchRfOff(ReaderFamily& family, brnHandle handle);

// Whether the line of the reader behind handle is up: false once its device
// has gone (hung up, unplugged, read error, far end closed), and for a
// handle that names no open reader. On a gone line every command fails at once.
bool readerLineUp(brnHandle handle);

// Item types 0, 1 and 2 filter on their AFI; other types take every tag.
AfiFilter afiFilterFor(std::int32_t itemType);

// The field on (switchRfOn; its failure ends the search), then up to three
// inventories with retryDelayMs after each empty one. BRN_OK and the tag's
// UID when exactly one tag answered; BRN_ERR_NO_TAG when none did,
// BRN_ERR_MANY_TAGS when more than one did; the failed inventory's error at
// once when the reader's line has gone.
std::int32_t findSingleTag(ReaderFamily& family, brnHandle handle, AfiFilter filter, std::uint32_t retryDelayMs,
                           Uid& uid);

// The parts of a tag's record that requestMask asks for (BRN_RAW_*), read
// into raw in this order: EAS bit, lock status, blocks 0 to 7. The EAS part
// stays out when the family leaves it untold, the lock status when its query
// fails and locksOptional is set. BRN_OK, or the first failure's error
// (BRN_ERR_READ for a block); raw keeps what was read before a failure.
std::int32_t readTagParts(ReaderFamily& family, brnHandle handle, const Uid* uid, std::uint32_t requestMask,
                          bool locksOptional, brnRawItem& raw);

// The adapter of the process-wide reader family for handle: BRN_OK and the
// adapter, BRN_ERR_READER when the family has none, BRN_ERR_HANDLE when the
// handle is null or is not a reader of that family.
std::int32_t currentFamily(brnHandle handle, ReaderFamily*& family);

} // namespace brenholt
