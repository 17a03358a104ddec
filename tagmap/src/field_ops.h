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

// Up to three inventories with retryDelayMs after each empty one. 0 and the
// tag's UID when exactly one tag answered; -14 when none did, -13 when more
// than one did; the failed inventory's error at once when the reader's line
// has gone.
std::int32_t findSingleTag(ReaderFamily& family, brnHandle handle, AfiFilter filter, std::uint32_t retryDelayMs,
                           Uid& uid);

// The parts of a tag's record that requestMask asks for (BRN_RAW_*), read
// into raw in this order: EAS bit, lock status, blocks 0 to 7. The EAS part
// stays out when the family leaves it untold, the lock status when its query
// fails and locksOptional is set. 0, or the first failure's error (-15 for a
// block); raw keeps what was read before a failure.
std::int32_t readTagParts(ReaderFamily& family, brnHandle handle, const Uid* uid, std::uint32_t requestMask,
                          bool locksOptional, brnRawItem& raw);

// The adapter of the process-wide reader family for handle: 0 and the
// adapter, -3 when the family has none, -5 when the handle is null or is not
// a reader of that family.
std::int32_t currentFamily(brnHandle handle, ReaderFamily*& family);

} // namespace brenholt
