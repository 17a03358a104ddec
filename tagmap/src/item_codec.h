// Conversions between a tag's raw library data (brnRawItem) and the decoded
// library item (brnItem). Pure functions: they touch no reader.
#pragma once

#include <cstdint>
#include <optional>

#include "brenholt.h"

namespace brenholt {

// Library 44120 stores only the last part of a book's item identifier: a
// stored number n below 9 999 999 stands for 4 412 000 000 000 + n.
inline constexpr std::uint32_t kShortIdLibrary = 44120;
inline constexpr std::uint64_t kShortIdBase = 4412000000000ULL;
inline constexpr std::uint64_t kShortIdLimit = 9999999;

// The 10-bit code a year is stored as, (year - 1970) mod 1024, and back.
std::uint32_t yearCode(std::uint32_t year);
std::uint32_t yearFromCode(std::uint32_t code);

// The raw record a tag holds, as read, decoded into an item. A book of
// library 44120 gets its full item identifier back.
void decodeItem(const brnRawItem& raw, brnItem& item);

// The item encoded into the block values to write. For a book of library
// 44120 the caller's itemId is shortened in place to the part the tag stores.
void encodeItem(brnItem& item, brnRawItem& raw);

// The raw request mask (which blocks to read) for an item request mask.
std::uint32_t itemRequestToRawRequest(std::uint32_t itemMask);

// Block lock status as read to item lock bits, whatever the item type.
std::uint32_t rawLocksToItemLocks(std::uint32_t rawLockMask);

// The AFI of an item type; none for types other than book, patron card and shelf tag.
std::optional<std::uint8_t> afiForItemType(std::int32_t itemType);

} // namespace brenholt
