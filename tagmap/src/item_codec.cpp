#include "item_codec.h"

#include <cstddef>

namespace brenholt {
namespace {

// Which raw parts each item part lives in: the EAS state, the lock status,
// and the blocks of each group of fields.
struct PartBlocks {
    std::uint32_t itemBit;
    std::uint32_t rawBits;
};
constexpr PartBlocks kParts[] = {
    {BRN_ITEM_EAS, BRN_RAW_EAS},
    {BRN_ITEM_LOCKS, BRN_RAW_LOCKS},
    {BRN_ITEM_IDENTITY, BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1)},
    {BRN_ITEM_BLOCK2, BRN_RAW_BLOCK(2)},
    {BRN_ITEM_LIBRARY, BRN_RAW_BLOCK(3)},
    {BRN_ITEM_BLOCK4, BRN_RAW_BLOCK(4)},
    {BRN_ITEM_EXTRA, BRN_RAW_BLOCK(5) | BRN_RAW_BLOCK(6) | BRN_RAW_BLOCK(7)},
};

// One type-dependent slot: the block it lives in and its bits there.
template <typename View>
struct SlotField {
    std::uint32_t View::*member;
    int block;
    unsigned shift;
    unsigned width;
    bool year;
};

constexpr SlotField<brnBookSlots> kBookFields[] = {
    {&brnBookSlots::referenceFlag, 2, 31, 1, false},
    {&brnBookSlots::location, 2, 23, 8, false},
    {&brnBookSlots::mediaType, 2, 18, 5, false},
    {&brnBookSlots::bookAux, 2, 0, 18, false},
    {&brnBookSlots::bookDateFlag, 4, 31, 1, false},
    {&brnBookSlots::bookMonth, 4, 27, 4, false},
    {&brnBookSlots::bookDay, 4, 22, 5, false},
    {&brnBookSlots::bookYear, 4, 12, 10, true},
    {&brnBookSlots::bookDateAux, 4, 0, 12, false},
};

constexpr SlotField<brnPatronSlots> kPatronFields[] = {
    {&brnPatronSlots::registerMonth, 2, 28, 4, false},
    {&brnPatronSlots::registerDay, 2, 23, 5, false},
    {&brnPatronSlots::registerYear, 2, 13, 10, true},
    {&brnPatronSlots::patronType, 2, 5, 8, false},
    {&brnPatronSlots::cardStatus, 2, 0, 5, false},
    {&brnPatronSlots::validMonth, 4, 28, 4, false},
    {&brnPatronSlots::validDay, 4, 23, 5, false},
    {&brnPatronSlots::validYear, 4, 13, 10, true},
    {&brnPatronSlots::patronAux, 4, 0, 13, false},
};

constexpr std::uint32_t lowBits(unsigned width) { return (std::uint32_t{1} << width) - 1; }

template <typename View, std::size_t N>
std::uint32_t pack(const View& view, const SlotField<View> (&fields)[N], int block)
{
    std::uint32_t value = 0;
    for (const auto& f : fields) {
        if (f.block != block)
            continue;
        const std::uint32_t v = f.year ? yearCode(view.*f.member) : view.*f.member;
        value |= (v & lowBits(f.width)) << f.shift;
    }
    return value;
}

template <typename View, std::size_t N>
void unpack(std::uint32_t value, View& view, const SlotField<View> (&fields)[N], int block)
{
    for (const auto& f : fields) {
        if (f.block != block)
            continue;
        const std::uint32_t v = (value >> f.shift) & lowBits(f.width);
        view.*f.member = f.year ? yearFromCode(v) : v;
    }
}

// Books and patron cards give the slots and blocks 2, 4 to 7 a meaning; shelf
// tags and unknown types leave them uninterpreted.
bool hasSlots(std::int32_t itemType)
{
    return itemType == BRN_ITEM_TYPE_BOOK || itemType == BRN_ITEM_TYPE_PATRON_CARD;
}

std::uint32_t packSlots(const brnItem& item, int block)
{
    if (item.itemType == BRN_ITEM_TYPE_BOOK)
        return pack(item.book, kBookFields, block);
    if (item.itemType == BRN_ITEM_TYPE_PATRON_CARD)
        return pack(item.patron, kPatronFields, block);
    return 0;
}

void unpackSlots(std::uint32_t value, brnItem& item, int block)
{
    if (item.itemType == BRN_ITEM_TYPE_BOOK)
        unpack(value, item.book, kBookFields, block);
    else if (item.itemType == BRN_ITEM_TYPE_PATRON_CARD)
        unpack(value, item.patron, kPatronFields, block);
}

constexpr std::uint32_t kItemIdHighBits = 0x1FFFFFF; // item identifier bits 56-32 in block 0

} // namespace

std::uint32_t yearCode(std::uint32_t year) { return (year + 78) & 0x3FF; }

std::uint32_t yearFromCode(std::uint32_t code) { return (code & 0x3FF) + 1970; }

std::uint32_t itemRequestToRawRequest(std::uint32_t itemMask)
{
    std::uint32_t raw = 0;
    for (const auto& p : kParts)
        if (itemMask & p.itemBit)
            raw |= p.rawBits;
    return raw;
}

std::uint32_t rawLocksToItemLocks(std::uint32_t rawLockMask)
{
    std::uint32_t locks = 0;
    for (const auto& p : kParts)
        if (p.itemBit != BRN_ITEM_EAS && p.itemBit != BRN_ITEM_LOCKS && (rawLockMask & p.rawBits))
            locks |= p.itemBit;
    return locks;
}

std::optional<std::uint8_t> afiForItemType(std::int32_t itemType)
{
    switch (itemType) {
    case BRN_ITEM_TYPE_BOOK: return BRN_AFI_BOOK;
    case BRN_ITEM_TYPE_PATRON_CARD: return BRN_AFI_PATRON_CARD;
    case BRN_ITEM_TYPE_SHELF_TAG: return BRN_AFI_SHELF_TAG;
    default: return std::nullopt;
    }
}

void decodeItem(const brnRawItem& raw, brnItem& item)
{
    item = brnItem{};
    item.blockSize = raw.blockSize;
    const auto& b = raw.blocks;
    const std::uint32_t present = raw.validMask;
    // The type comes from block 0 even when it was not read: an absent block
    // is zero, so such a tag is taken for a book.
    item.itemType = static_cast<std::int32_t>((b[0] >> 25) & 7);
    const bool typed = hasSlots(item.itemType);

    if (present & BRN_RAW_LOCKS) {
        item.validMask |= BRN_ITEM_LOCKS;
        std::uint32_t locks = rawLocksToItemLocks(raw.lockMask);
        if (!typed)
            locks &= ~(BRN_ITEM_BLOCK2 | BRN_ITEM_BLOCK4);
        if (raw.lockMask & BRN_RAW_LOCK_EAS)
            locks |= BRN_ITEM_EAS;
        item.lockMask = locks;
    }
    if (present & BRN_RAW_EAS) {
        item.validMask |= BRN_ITEM_EAS;
        item.easState = raw.easState;
    }
    if (present & (BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1))) {
        item.validMask |= BRN_ITEM_IDENTITY;
        item.formatVersion = b[0] >> 28;
        item.typeCode = (b[0] >> 25) & 7;
        item.itemId = (std::uint64_t{b[0] & kItemIdHighBits} << 32) | b[1];
    }
    if ((present & BRN_RAW_BLOCK(2)) && typed) {
        item.validMask |= BRN_ITEM_BLOCK2;
        unpackSlots(b[2], item, 2);
    }
    if (present & BRN_RAW_BLOCK(3)) {
        item.validMask |= BRN_ITEM_LIBRARY;
        item.libraryId = b[3];
    }
    if ((present & BRN_RAW_BLOCK(4)) && typed) {
        item.validMask |= BRN_ITEM_BLOCK4;
        unpackSlots(b[4], item, 4);
    }
    if ((present & BRN_RAW_BLOCK(5)) && typed) {
        item.validMask |= BRN_ITEM_EXTRA;
        item.extraWord = b[5];
    }
    if ((present & (BRN_RAW_BLOCK(6) | BRN_RAW_BLOCK(7))) && typed) {
        item.validMask |= BRN_ITEM_EXTRA;
        item.extraLong = (std::uint64_t{b[6]} << 32) | b[7];
    }
    if (item.itemType == BRN_ITEM_TYPE_BOOK && item.libraryId == kShortIdLibrary
        && item.itemId < kShortIdLimit)
        item.itemId += kShortIdBase;
}

void encodeItem(brnItem& item, brnRawItem& raw)
{
    raw = brnRawItem{};
    raw.blockSize = item.blockSize;
    if (item.itemType == BRN_ITEM_TYPE_BOOK && item.libraryId == kShortIdLibrary
        && item.itemId >= kShortIdBase && item.itemId < kShortIdBase + kShortIdLimit)
        item.itemId -= kShortIdBase;

    const std::uint32_t wanted = item.validMask;
    if (wanted & BRN_ITEM_LOCKS) {
        raw.validMask |= BRN_RAW_LOCKS;
        // Same grouping as the blocks; bit 1 means nothing among the locks.
        raw.lockMask = itemRequestToRawRequest(item.lockMask & ~BRN_ITEM_LOCKS);
    }
    if (wanted & BRN_ITEM_EAS) {
        raw.validMask |= BRN_RAW_EAS;
        raw.easState = item.easState;
    }
    raw.blocks[0] = (item.formatVersion << 28) | ((item.typeCode & 7) << 25)
                    | (static_cast<std::uint32_t>(item.itemId >> 32) & kItemIdHighBits);
    raw.blocks[1] = static_cast<std::uint32_t>(item.itemId);
    if (wanted & BRN_ITEM_IDENTITY)
        raw.validMask |= BRN_RAW_BLOCK(0) | BRN_RAW_BLOCK(1);
    if (wanted & BRN_ITEM_BLOCK2) {
        raw.validMask |= BRN_RAW_BLOCK(2);
        raw.blocks[2] = packSlots(item, 2);
    }
    if (wanted & BRN_ITEM_LIBRARY) {
        raw.validMask |= BRN_RAW_BLOCK(3);
        raw.blocks[3] = item.libraryId;
    }
    if (wanted & BRN_ITEM_BLOCK4) {
        raw.validMask |= BRN_RAW_BLOCK(4);
        raw.blocks[4] = packSlots(item, 4);
    }
    if (wanted & BRN_ITEM_EXTRA) {
        raw.validMask |= BRN_RAW_BLOCK(5) | BRN_RAW_BLOCK(6) | BRN_RAW_BLOCK(7);
        if (hasSlots(item.itemType)) {
            raw.blocks[5] = item.extraWord;
            raw.blocks[6] = static_cast<std::uint32_t>(item.extraLong >> 32);
            raw.blocks[7] = static_cast<std::uint32_t>(item.extraLong);
        }
    }
}

} // namespace brenholt
